// Test programs write '\n' to their standard output and error as they do on other systems,
// without a '\r' before it: the test runner reads their test lists line by line.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

namespace {

const bool consoleIsBinary = [] {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

} // namespace
