/* The public header is plain C: this program is compiled as C and drives the library as a
   C host would. */
#include <stdio.h>
#include <string.h>

#include "XAVOKZ.h"

static int failures = 0;

static void check(int condition, const char* what)
{
    if (!condition) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    uint32_t cards = 0;
    BoardState* record = NULL;

    check(KZ_PCIEnumerate(&cards) == 1 && cards == KZ_ReturnNumberOfKelzorBoards(), "card count");
    check(cards >= 1 && pBoardStates != NULL && pBoardStates[0].isPresent == 1, "card table");
    check(strcmp(KZ_GetCodeString(0), "KZ_OK") == 0, "message look-up");
    record = KZ_ReturnBoardStatePointer(0);
    check(record == NULL && KZ_GetLastError() == 0x7900, "uninitialised card refused");
    check(sizeof(((BoardState*)0)->diagnosticsFileName) == KZ_DIAGNOSTICS_FILENAME_LENGTH, "record layout");
    check(KZ_PCIInitialise(0) == 1, "card opened");
    printf("%s\n", failures == 0 ? "C host: all checks passed" : "C host: checks failed");
    return failures == 0 ? 0 : 1;
}
