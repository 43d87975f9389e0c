/*
 * A first host program: finds the cards, opens card 0 and prints its firmware registers and
 * the result of the register self-test.
 */
#include <stdio.h>

#include "XAVOKZ.h"

enum {
    SYSTEM_SELF_TEST = KZ_SYSTEM_REGISTER_BASE + 0x00,
    SYSTEM_VERSION = KZ_SYSTEM_REGISTER_BASE + 0xFC,
    SAMPLING_VERSION = KZ_SAMPLING_REGISTER_BASE + 0xFC,
    PERIPHERAL_VERSION = KZ_PERIPHERAL_REGISTER_BASE + 0xFC
};

static const uint32_t SELF_TEST_PATTERN = 0x12345678u;

static int printFirmwareWord(const char* bank, uint32_t rawOffset)
{
    uint32_t word = 0;
    if (!KZ_GetRegister(0, rawOffset, &word)) {
        printf("  %-10s firmware: register read failed (%s)\n", bank, KZ_GetCodeString(KZ_GetLastError()));
        return 0;
    }
    printf("  %-10s firmware: word 0x%04x, version %u, revision 0x%03x\n", bank, (unsigned)(word & 0xFFFFu),
           (unsigned)((word >> 12) & 0xFu), (unsigned)(word & 0xFFFu));
    return 1;
}

int main(void)
{
    uint32_t cards = 0;
    uint32_t echo = 0;
    int selfTestPassed = 0;

    KZ_PCIEnumerate(&cards);
    printf("Kelzor cards found: %u\n", (unsigned)cards);
    if (cards == 0) {
        return 0;
    }
    if (!KZ_PCIInitialise(0)) {
        printf("card 0 could not be opened: %s\n", KZ_GetCodeString(KZ_GetLastError()));
        return 1;
    }
    printf("card 0 opened with its DMA channel\n");
    printFirmwareWord("system", SYSTEM_VERSION);
    printFirmwareWord("sampling", SAMPLING_VERSION);
    printFirmwareWord("peripheral", PERIPHERAL_VERSION);

    selfTestPassed = KZ_SetRegister(0, SYSTEM_SELF_TEST, SELF_TEST_PATTERN) &&
                     KZ_GetRegister(0, SYSTEM_SELF_TEST, &echo) && echo == (uint32_t)~SELF_TEST_PATTERN;
    printf("register self-test: %s (wrote 0x%08x, read 0x%08x)\n", selfTestPassed ? "passed" : "FAILED",
           (unsigned)SELF_TEST_PATTERN, (unsigned)echo);
    return selfTestPassed ? 0 : 1;
}
