/*
 * A first host program: initialises card 0 with one call, printing each stage as the library
 * reports it, shows the firmware that runs and the calibration the card was given, then pulls a
 * few B-scans and prints the peak of each A-scan.
 *
 * Usage: kz_hello   (the library finds its firmware and XAVOKZ.ini in its own folder)
 */
#include <stdio.h>
#include <stdlib.h>

#include "XAVOKZ.h"

enum {
    A_SCANS_PER_B_SCAN = 4,
    B_SCANS = 3,
    SAMPLES = 4000,
    /* The window opens 2000 sample clocks (about 30 us) after the pulse, past the transmit pulse. */
    START_DELAY = 2000,
    HEADER_BYTES = 4
};

static const char* lastError(void) { return KZ_GetCodeString(KZ_GetLastError()); }

static const char* stageName(uint32_t stage)
{
    switch (stage) {
    case 0: return "start";
    case 1: return "preparation";
    case 2: return "firmware download";
    case 3: return "opening the card";
    case 4: return "register self-test";
    case 5: return "sample clock";
    case 6: return "offset calibration";
    case 7: return "gain calibration";
    case 8: return "initialisation";
    default: return "stage";
    }
}

static uint32_t printStage(uint32_t stage, uint32_t status)
{
    static const char* const statuses[] = {"started", "done", "FAILED"};
    printf("  [%u] %-20s %s\n", (unsigned)stage, stageName(stage), status < 3 ? statuses[status] : "?");
    return 0;
}

static void printFirmware(void)
{
    uint32_t samplingVersion = 0, samplingRevision = 0, peripheralVersion = 0, peripheralRevision = 0;
    if (KZ_GetSamplingFirmwareVersion(0, &samplingVersion) && KZ_GetSamplingFirmwareRevision(0, &samplingRevision) &&
        KZ_GetPeripheralFirmwareVersion(0, &peripheralVersion) &&
        KZ_GetPeripheralFirmwareRevision(0, &peripheralRevision)) {
        printf("firmware: sampling version %u revision 0x%03x, peripheral version %u revision 0x%03x\n",
               (unsigned)samplingVersion, (unsigned)samplingRevision, (unsigned)peripheralVersion,
               (unsigned)peripheralRevision);
    }
}

static void printCalibration(void)
{
    const BoardState* board = KZ_ReturnBoardStatePointer(0);
    uint32_t range = 0;
    uint32_t serial = 0;
    if (board == NULL || !KZ_GetAnalogueInputRange(0, &range) || range >= KZ_NUMBER_OF_ANALOGUE_RANGES) {
        return;
    }
    KZ_GetSerialNumber(0, &serial);
    printf("card serial number %u, input range %u: offset word %d, gain word %d\n", (unsigned)serial,
           (unsigned)range, board->calibrationOffsetWord[range], board->calibrationGainWord[range]);
}

/* Every step of the sequence is one A-scan position of the B-scan. */
static int configureAcquisition(void)
{
    uint32_t step;
    if (!KZ_SetStepsInSequence(0, A_SCANS_PER_B_SCAN)) {
        return 0;
    }
    for (step = 0; step < A_SCANS_PER_B_SCAN; ++step) {
        if (!KZ_SetSequenceStep(0, step) || !KZ_SetNumberOfSamples(0, SAMPLES)) {
            return 0;
        }
    }
    return KZ_SetSequenceStep(0, 0) && KZ_SetStartDelay(0, START_DELAY) &&
           KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0) && KZ_SetNumberOfBScansPerBank(0, 1) &&
           KZ_SetScanStorageOptions(0, 0);
}

/* Largest magnitude among the samples behind the A-scan's header word, and where it lies. */
static void printPeak(uint32_t bScan, uint32_t position, const int16_t* record, uint32_t values)
{
    uint32_t peakIndex = 0;
    int peak = 0;
    uint32_t i;
    for (i = 0; i < values; ++i) {
        const int value = record[i];
        if (abs(value) > abs(peak)) {
            peak = value;
            peakIndex = i;
        }
    }
    printf("  B-scan %u, A-scan %u: peak %5d at sample %4u (%.2f us after the pulse)\n", (unsigned)bScan,
           (unsigned)position, peak, (unsigned)peakIndex, (START_DELAY + peakIndex) / 66.0);
}

static int acquire(void)
{
    static int16_t samples[A_SCANS_PER_B_SCAN][SAMPLES];
    void* buffers[A_SCANS_PER_B_SCAN];
    uint32_t b, k;
    for (k = 0; k < A_SCANS_PER_B_SCAN; ++k) {
        buffers[k] = samples[k];
    }
    for (b = 0; b < B_SCANS; ++b) {
        if (!KZ_GetBScan(0, buffers)) {
            printf("B-scan %u could not be read: %s\n", (unsigned)b, lastError());
            return 0;
        }
        for (k = 0; k < A_SCANS_PER_B_SCAN; ++k) {
            /* The copy starts at the A-scan's header word and holds SAMPLES values' worth. */
            printPeak(b, k, samples[k] + HEADER_BYTES / 2, SAMPLES - HEADER_BYTES / 2);
        }
    }
    return 1;
}

int main(void)
{
    uint32_t cards = 0;
    int ok;

    KZ_PCIEnumerate(&cards);
    printf("Kelzor cards found: %u\n", (unsigned)cards);
    if (cards == 0) {
        return 0;
    }

    KZ_SetInitialisationStatusCallback(printStage);
    printf("initialising card 0:\n");
    if (!KZ_Initialise(0)) {
        printf("card 0 could not be initialised: %s\n", lastError());
        return 1;
    }
    printFirmware();
    printCalibration();

    if (!configureAcquisition()) {
        printf("the acquisition could not be set up: %s\n", lastError());
        KZ_Uninitialise(0);
        return 1;
    }
    printf("%d B-scans of %d A-scans of %d samples:\n", B_SCANS, A_SCANS_PER_B_SCAN, SAMPLES);
    ok = acquire();

    if (!KZ_Uninitialise(0)) {
        printf("card 0 could not be shut down: %s\n", lastError());
        return 1;
    }
    printf("card 0 shut down\n");
    return ok ? 0 : 1;
}
