// Throughput of the command joiner against the plainest scan that gives the
// same bytes: memchr to the next CR, memcpy of the line, skip one LF.
// Native and in memory, for two kinds of 10 MiB file, the joiner fed in
// 128-byte blocks (as ReadCommandFile feeds it) and in one block.
//
// Two comparisons:
// - as the file reader uses it: the joiner starts empty and grows its own
//   buffer, the scan writes into a new buffer of the final size. Every run
//   gets new memory, as a process that reads its command file once does.
//   (glibc would otherwise raise its threshold for mapping blocks afresh
//   after the first large free and let later runs reuse earlier memory; it
//   is held at its start-up value.)
// - the joining alone: both write into a buffer given beforehand and
//   already touched, so that no allocation is timed.
//
// Usage: join_bench [--size BYTES] [--runs N]
// Prints one table row per kind of file, way of feeding and comparison.
// Exits 1 if the joiner's result differs from the scan's.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "command_text.h"
#include "report.h"

namespace {

// A small deterministic generator, so that every run joins the same bytes.
struct Lcg {
    unsigned long long state;
    unsigned Next(unsigned bound) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (unsigned)(state >> 33) % bound;
    }
};

// One command line without any line end: quoted paths and switches.
std::string OneLongLine(size_t size) {
    std::string bytes;
    bytes.reserve(size + 128);
    for (unsigned n = 0; bytes.size() < size; ++n) {
        char piece[128];
        int length = snprintf(piece, sizeof piece,
                              "\"C:\\Programme\\Werkzeug\\werkzeug.exe\" /ein "
                              "\"D:\\Daten\\Bericht-%05u.txt\" /stumm ",
                              n % 100000);
        bytes.append(piece, (size_t)length);
    }
    bytes.resize(size);
    return bytes;
}

// Many short lines of printable text, each ended by CR LF.
std::string ShortCrLfLines(size_t size) {
    static const char kText[] = "cmd /c start \"\" \"C:\\Werkzeuge\\ruf.exe\" --modus=privat -v ";
    std::string bytes;
    bytes.reserve(size + 128);
    Lcg random = {12345};
    while (bytes.size() < size) {
        unsigned length = 8 + random.Next(64);
        for (unsigned i = 0; i < length; ++i) bytes += kText[random.Next(sizeof kText - 1)];
        bytes += "\r\n";
    }
    bytes.resize(size);
    return bytes;
}

struct Joined {
    char* data;
    size_t size;
};

// The limit: one pass of memchr and memcpy into `out`, which has room for
// all the bytes.
Joined Scan(const char* bytes, size_t count, char* out) {
    Joined joined = {out, 0};
    const char* next = bytes;
    const char* const end = bytes + count;
    while (next < end) {
        const char* cr = (const char*)memchr(next, '\r', (size_t)(end - next));
        const char* lineEnd = cr != NULL ? cr : end;
        memcpy(out + joined.size, next, (size_t)(lineEnd - next));
        joined.size += (size_t)(lineEnd - next);
        next = lineEnd + (cr != NULL);
        if (next < end && *next == '\n') ++next;
    }
    return joined;
}

// Tastomat's joiner fed in blocks of `block` bytes, into `command`.
Joined Join(const char* bytes, size_t count, size_t block, ByteBuffer command) {
    CommandJoiner joiner = MakeCommandJoiner();
    joiner.command = command;
    for (size_t fed = 0; fed < count; fed += block) {
        FeedCommandBytes(joiner, bytes + fed, count - fed < block ? count - fed : block);
    }
    if (joiner.command.allocationFailed) FreeByteBuffer(joiner.command);
    Joined joined = {joiner.command.data, joiner.command.size};
    return joined;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Same(const Joined& a, const Joined& b) {
    return a.data != NULL && b.data != NULL && a.size == b.size &&
           memcmp(a.data, b.data, a.size) == 0;
}

// The ways of joining measured: the scan, and the joiner fed in 128-byte
// blocks and in one block.
const int kWays = 3;
const char* const kWayNames[kWays] = {"memchr/memcpy scan", "128-byte blocks", "one block"};

// Joins one way. With `given` (one buffer per way, room for all the bytes)
// the output goes there; without, into new memory, which the caller frees.
Joined JoinOneWay(int way, const std::string& bytes, char* const* given) {
    const size_t count = bytes.size();
    if (way == 0) {
        char* out = given != NULL ? given[way] : (char*)malloc(count + 1);
        return out != NULL ? Scan(bytes.data(), count, out) : Joined{NULL, 0};
    }
    ByteBuffer command = MakeByteBuffer();
    if (given != NULL) {
        command.data = given[way];
        command.capacity = count + 1;
    }
    return Join(bytes.data(), count, way == 1 ? 128 : count, command);
}

// Measures every way `runs` times, in turn (which one goes first rotates),
// and prints a row per way of feeding the joiner. False if the joiner's
// bytes differed from the scan's.
bool Measure(const char* kind, const std::string& bytes, int runs, bool bufferGiven) {
    std::vector<char> buffers[kWays];
    char* given[kWays] = {};
    for (int way = 0; bufferGiven && way < kWays; ++way) {
        buffers[way].assign(bytes.size() + 1, '\0');
        given[way] = buffers[way].data();
    }
    std::vector<double> seconds[kWays];
    for (int run = 0; run < runs; ++run) {
        Joined joined[kWays];
        for (int turn = 0; turn < kWays; ++turn) {
            const int way = (run + turn) % kWays;
            const auto start = std::chrono::steady_clock::now();
            joined[way] = JoinOneWay(way, bytes, bufferGiven ? given : NULL);
            seconds[way].push_back(SecondsSince(start));
        }
        const bool same = Same(joined[1], joined[0]) && Same(joined[2], joined[0]);
        for (int way = 0; way < kWays && !bufferGiven; ++way) free(joined[way].data);
        if (!same) {
            fprintf(stderr, "join_bench: %s: the joiner's result differs from the scan's\n", kind);
            return false;
        }
    }
    const double megabytes = (double)bytes.size() / 1e6;
    for (int way = 1; way < kWays; ++way) {
        std::string figure = std::string("joining ") + kind + ", " + kWayNames[way] +
                             (bufferGiven ? ", output buffer given (joining alone)" : "");
        PrintRow(figure.c_str(), "MB/s", megabytes / Median(seconds[0]),
                 megabytes / Median(seconds[way]), Goal::AtLeast, 0.5);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t size = 10u << 20;
    int runs = 51;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--size") == 0) size = (size_t)strtoull(argv[i + 1], NULL, 10);
        if (strcmp(argv[i], "--runs") == 0) runs = (int)strtol(argv[i + 1], NULL, 10);
    }
    if (size == 0 || runs < 1) {
        fprintf(stderr, "usage: join_bench [--size BYTES] [--runs N]\n");
        return 2;
    }
#if defined(__GLIBC__)
    // glibc's start-up value: larger blocks are mapped afresh, every run.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    printf("join_bench: %zu bytes, median of %d runs each\n", size, runs);
    const std::string files[2] = {OneLongLine(size), ShortCrLfLines(size)};
    const char* const kinds[2] = {"one long line", "short CR LF lines"};
    for (int given = 0; given < 2; ++given) {
        for (int file = 0; file < 2; ++file) {
            if (!Measure(kinds[file], files[file], runs, given == 1)) return 1;
        }
    }
    return 0;
}
