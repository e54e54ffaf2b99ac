// Throughput of the command joiner against the plainest scan that gives the
// same bytes: memchr to the next CR, memcpy of the line, skip one LF.
// Native and in memory, so that only the joining is measured.
//
// Usage: join_bench [--size BYTES] [--runs N]
// Prints one table row per kind of file and way of feeding it. Exits 1 if the
// joiner's result differs from the scan's.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

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

// The limit: one pass of memchr and memcpy into a buffer of the final size.
Joined Scan(const char* bytes, size_t count) {
    Joined out = {(char*)malloc(count + 1), 0};
    if (out.data == NULL) return out;
    const char* next = bytes;
    const char* const end = bytes + count;
    while (next < end) {
        const char* cr = (const char*)memchr(next, '\r', (size_t)(end - next));
        const char* lineEnd = cr != NULL ? cr : end;
        memcpy(out.data + out.size, next, (size_t)(lineEnd - next));
        out.size += (size_t)(lineEnd - next);
        next = lineEnd + (cr != NULL);
        if (next < end && *next == '\n') ++next;
    }
    return out;
}

// Tastomat's joiner, fed in blocks of `block` bytes as its file reader does.
Joined Join(const char* bytes, size_t count, size_t block) {
    CommandJoiner joiner = MakeCommandJoiner();
    for (size_t fed = 0; fed < count; fed += block) {
        FeedCommandBytes(joiner, bytes + fed, count - fed < block ? count - fed : block);
    }
    if (joiner.command.allocationFailed) FreeByteBuffer(joiner.command);
    Joined out = {joiner.command.data, joiner.command.size};
    return out;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Same(const Joined& a, const Joined& b) {
    return a.data != NULL && b.data != NULL && a.size == b.size &&
           memcmp(a.data, b.data, a.size) == 0;
}

struct Feeding {
    const char* name;
    size_t block;
};

// Measures the scan and each way of feeding the joiner `runs` times, in
// turn, and prints a row per way of feeding. False if a result differed.
bool Measure(const char* kind, const std::string& bytes, int runs) {
    const size_t count = bytes.size();
    const Feeding feedings[] = {{"128-byte blocks", 128}, {"one block", count}};
    std::vector<double> scanSeconds;
    std::vector<std::vector<double>> joinSeconds(2);
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        Joined scanned = Scan(bytes.data(), count);
        scanSeconds.push_back(SecondsSince(start));
        for (size_t f = 0; f < 2; ++f) {
            start = std::chrono::steady_clock::now();
            Joined joined = Join(bytes.data(), count, feedings[f].block);
            joinSeconds[f].push_back(SecondsSince(start));
            bool same = Same(joined, scanned);
            free(joined.data);
            if (!same) {
                fprintf(stderr, "join_bench: %s, %s: the joiner's result differs from the scan's\n",
                        kind, feedings[f].name);
                free(scanned.data);
                return false;
            }
        }
        free(scanned.data);
    }
    const double megabytes = (double)count / 1e6;
    for (size_t f = 0; f < 2; ++f) {
        std::string figure = std::string("joining ") + kind + ", " + feedings[f].name;
        PrintRow(figure.c_str(), "MB/s", megabytes / Median(scanSeconds),
                 megabytes / Median(joinSeconds[f]), Goal::AtLeast, 0.5);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t size = 10u << 20;
    int runs = 11;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--size") == 0) size = (size_t)strtoull(argv[i + 1], NULL, 10);
        if (strcmp(argv[i], "--runs") == 0) runs = atoi(argv[i + 1]);
    }
    if (size == 0 || runs < 1) {
        fprintf(stderr, "usage: join_bench [--size BYTES] [--runs N]\n");
        return 2;
    }
    printf("join_bench: %zu bytes, median of %d runs each\n", size, runs);
    bool same = Measure("one long line", OneLongLine(size), runs) &&
                Measure("short CR LF lines", ShortCrLfLines(size), runs);
    return same ? 0 : 1;
}
