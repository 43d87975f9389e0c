/*
 * A first host program: finds the cards, opens card 0, loads the configured firmware into it
 * and prints its firmware registers and the result of the register self-test.
 *
 * Usage: kz_hello [firmware folder]   (default: the program's own folder)
 */
#include <stdio.h>
#include <string.h>

#include "XAVOKZ.h"

enum {
    SYSTEM_SELF_TEST = KZ_SYSTEM_REGISTER_BASE + 0x00,
    SYSTEM_COMMAND = KZ_SYSTEM_REGISTER_BASE + 0x14,
    SYSTEM_VERSION = KZ_SYSTEM_REGISTER_BASE + 0xFC,
    SAMPLING_VERSION = KZ_SAMPLING_REGISTER_BASE + 0xFC,
    PERIPHERAL_VERSION = KZ_PERIPHERAL_REGISTER_BASE + 0xFC
};

static const uint32_t SELF_TEST_PATTERN = 0x12345678u;
static const uint32_t RELEASE_COMMAND = 0x11u;

static const char* lastError(void) { return KZ_GetCodeString(KZ_GetLastError()); }

static void printFirmwareWord(const char* bank, uint32_t rawOffset)
{
    uint32_t word = 0;
    if (!KZ_GetRegister(0, rawOffset, &word)) {
        printf("  %-10s firmware: register read failed (%s)\n", bank, lastError());
        return;
    }
    printf("  %-10s firmware: word 0x%04x, version %u, revision 0x%03x\n", bank, (unsigned)(word & 0xFFFFu),
           (unsigned)((word >> 12) & 0xFu), (unsigned)(word & 0xFFFu));
}

/* Downloads the configured firmware pair from `folder` and releases the card to run it. */
static int loadFirmware(const char* folder)
{
    uint32_t dsp = 0;
    uint32_t per = 0;
    char samplingFile[1024];
    char peripheralFile[1024];

    KZ_GetZUTAMFirmwareRevisions(&dsp, &per);
    snprintf(samplingFile, sizeof samplingFile, "%sdsp_v%03x.bin", folder, (unsigned)dsp);
    snprintf(peripheralFile, sizeof peripheralFile, "%sper_v%03x.bin", folder, (unsigned)per);
    if (!KZ_DumpBinFiles(0, samplingFile, peripheralFile, 0)) {
        printf("firmware download failed: %s\n", lastError());
        return 0;
    }
    printf("firmware downloaded: %s, %s\n", samplingFile, peripheralFile);
    return KZ_SetRegister(0, SYSTEM_COMMAND, RELEASE_COMMAND);
}

/* The last folder separator of a path ('\\' as well as '/' on Windows), or NULL. */
static const char* lastSeparator(const char* path)
{
    const char* slash = strrchr(path, '/');
#if defined(_WIN32)
    const char* backslash = strrchr(path, '\\');
    if (backslash != NULL && (slash == NULL || backslash > slash)) {
        slash = backslash;
    }
#endif
    return slash;
}

int main(int argc, char** argv)
{
    uint32_t cards = 0;
    uint32_t echo = 0;
    int selfTestPassed = 0;
    char folder[1024] = "";

    if (argc > 1) {
        snprintf(folder, sizeof folder, "%s/", argv[1]);
    } else if (argc > 0 && lastSeparator(argv[0]) != NULL) {
        snprintf(folder, sizeof folder, "%.*s", (int)(lastSeparator(argv[0]) - argv[0] + 1), argv[0]);
    }

    KZ_PCIEnumerate(&cards);
    printf("Kelzor cards found: %u\n", (unsigned)cards);
    if (cards == 0) {
        return 0;
    }
    if (!KZ_PCIInitialise(0)) {
        printf("card 0 could not be opened: %s\n", lastError());
        return 1;
    }
    printf("card 0 opened with its DMA channel\n");
    if (!loadFirmware(folder)) {
        return 1;
    }
    printFirmwareWord("system", SYSTEM_VERSION);
    printFirmwareWord("sampling", SAMPLING_VERSION);
    printFirmwareWord("peripheral", PERIPHERAL_VERSION);

    selfTestPassed = KZ_SetRegister(0, SYSTEM_SELF_TEST, SELF_TEST_PATTERN) &&
                     KZ_GetRegister(0, SYSTEM_SELF_TEST, &echo) && echo == (uint32_t)~SELF_TEST_PATTERN;
    printf("register self-test: %s (wrote 0x%08x, read 0x%08x)\n", selfTestPassed ? "passed" : "FAILED",
           (unsigned)SELF_TEST_PATTERN, (unsigned)echo);
    return selfTestPassed ? 0 : 1;
}
