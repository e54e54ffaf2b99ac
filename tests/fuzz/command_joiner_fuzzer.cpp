// libFuzzer target: FeedCommandBytes, fed in blocks of fuzzer-chosen sizes,
// must give what a plain line-by-line reading of the whole file gives.
//
// Input: the first byte modulo 4, plus 1, is how many of the following bytes
// are block sizes (0 feeds an empty block); they are used in turn until the
// rest of the input, the file content, is fed.
//
// Long run, after building the native preset:
//   build/native/tests/fuzz/command_joiner_fuzzer -runs=1000000 -max_len=1024
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "command_text.h"

// Reads the first line always, then one more line as long as a byte is left
// that is not a Ctrl-Z. A line runs up to a CR, a Ctrl-Z or the end; a CR is
// taken together with one LF right behind it, a Ctrl-Z is left in place.
static std::string ReadLineByLine(const uint8_t* p, size_t n) {
    std::string joined;
    size_t i = 0;
    do {
        while (i < n && p[i] != '\r' && p[i] != 0x1A) joined += (char)p[i++];
        if (i < n && p[i] == '\r') {
            ++i;
            if (i < n && p[i] == '\n') ++i;
        }
    } while (i < n && p[i] != 0x1A);
    return joined;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t sizeCount = (size_t)(data[0] % 4) + 1;
    if (size < 1 + sizeCount) return 0;
    const uint8_t* sizes = data + 1;
    bool allZero = true;
    for (size_t k = 0; k < sizeCount; ++k) allZero = allZero && sizes[k] == 0;
    const uint8_t* content = data + 1 + sizeCount;
    const size_t contentSize = size - 1 - sizeCount;

    CommandJoiner joiner = MakeCommandJoiner();
    size_t fed = 0;
    for (size_t k = 0; fed < contentSize; k = (k + 1) % sizeCount) {
        const size_t block = std::min<size_t>(allZero ? 128 : sizes[k], contentSize - fed);
        FeedCommandBytes(joiner, (const char*)content + fed, block);
        fed += block;
    }

    const std::string expected = ReadLineByLine(content, contentSize);
    const ByteBuffer& got = joiner.command;
    if (got.allocationFailed || got.size != expected.size() ||
        (got.size != 0 && expected.compare(0, std::string::npos, got.data, got.size) != 0)) {
        abort();
    }

    // The joined command then goes to the command line: cut at the first NUL.
    ByteBuffer line = MakeByteBuffer();
    const std::string beforeNul = expected.substr(0, expected.find('\0'));
    bool fits = PrepareCommandLine(got.data, got.size, line);
    if (fits != (beforeNul.size() < kMaxCommandLineChars) ||
        (fits && (line.size != beforeNul.size() || line.data[line.size] != '\0' ||
                  beforeNul.compare(0, std::string::npos, line.data, line.size) != 0))) {
        abort();
    }
    FreeByteBuffer(line);
    FreeByteBuffer(joiner.command);
    return 0;
}
