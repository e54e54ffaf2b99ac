// Byte rules of the command file, its path, the first-run notice and the
// command line limit.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "command_text.h"

namespace {

std::string Contents(const ByteBuffer& buffer) {
    EXPECT_FALSE(buffer.allocationFailed);
    return buffer.size == 0 ? std::string() : std::string(buffer.data, buffer.size);
}

// Feeds `input` in blocks that end at the given offsets (and at its end).
std::string Join(const std::string& input, const std::vector<size_t>& cuts) {
    CommandJoiner joiner = MakeCommandJoiner();
    size_t start = 0;
    for (size_t cut : cuts) {
        FeedCommandBytes(joiner, input.data() + start, cut - start);
        start = cut;
    }
    FeedCommandBytes(joiner, input.data() + start, input.size() - start);
    std::string joined = Contents(joiner.command);
    FreeByteBuffer(joiner.command);
    return joined;
}

std::vector<size_t> EveryNth(size_t size, size_t n) {
    std::vector<size_t> cuts;
    for (size_t cut = n; cut < size; cut += n) cuts.push_back(cut);
    return cuts;
}

struct JoinCase {
    const char* name;
    std::string input;
    std::string joined;
};

TEST(CommandJoiner, JoinsLinesForEveryBlockSplit) {
    const std::string x300(300, 'x');
    const std::string a127(127, 'a');
    const JoinCase cases[] = {
        {"CR LF", "\"calc.exe\"\r\n", "\"calc.exe\""},
        {"lone CR", "ab\rcd", "abcd"},
        {"lone LF is a byte", "ab\ncd\n", "ab\ncd\n"},
        {"LF first", "\nab", "\nab"},
        {"blank starts second line", "cmd /c\r\n echo x", "cmd /c echo x"},
        {"empty lines", "\r\n\r\nab\r\n\r\n\rcd\r\n\r\n", "abcd"},
        {"Ctrl-Z mid first line", std::string("ab\x1A") + "cd\r\nef", "ab"},
        {"Ctrl-Z after CR, before LF", std::string("ab\r\x1A\ncd"), "ab"},
        {"Ctrl-Z only", "\x1A", ""},
        {"no bytes", "", ""},
        {"last line without end", "ab\r\ncd", "abcd"},
        {"CR at end of data", "ab\r", "ab"},
        {"CR CR LF", "ab\r\r\ncd", "abcd"},
        {"CR LF LF", "ab\r\n\ncd", "ab\ncd"},
        {"CR LF CR LF", "ab\r\n\r\n", "ab"},
        {"line over 256 bytes", x300 + "\r\n" + x300 + "\r\nz", x300 + x300 + "z"},
        {"CR|LF at 128-byte block edge", a127 + "\r\nb\r\n", a127 + "b"},
        {"NUL bytes kept", std::string("a\0b\r\n\0c\0", 8), std::string("a\0b\0c\0", 6)},
        {"high bytes kept", "gr\xFC\xDF\r\n\xFF", "gr\xFC\xDF\xFF"},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.joined, Join(c.input, {}));
        EXPECT_EQ(c.joined, Join(c.input, EveryNth(c.input.size(), 128)));
        EXPECT_EQ(c.joined, Join(c.input, EveryNth(c.input.size(), 1)));
        for (size_t cut = 0; cut <= c.input.size(); ++cut) {
            SCOPED_TRACE("split at " + std::to_string(cut));
            EXPECT_EQ(c.joined, Join(c.input, {cut}));
        }
    }
}

TEST(CommandJoiner, EmptyBlocksChangeNothing) {
    // An empty block between a CR and its LF must not lose the pending CR.
    const std::string input = "ab\r\ncd\r";
    CommandJoiner joiner = MakeCommandJoiner();
    for (char byte : input) {
        FeedCommandBytes(joiner, &byte, 1);
        FeedCommandBytes(joiner, &byte, 0);
    }
    const char tail[] = "\nef";
    FeedCommandBytes(joiner, tail, 0);
    FeedCommandBytes(joiner, tail, 3);
    EXPECT_EQ("abcdef", Contents(joiner.command));
    FreeByteBuffer(joiner.command);
}

TEST(CommandFile, PathAndDefaultContent) {
    const struct {
        const char* directory;
        const char* path;
    } cases[] = {
        {"C:\\Programme\\Tastomat", "C:\\Programme\\Tastomat\\Rufknopf.ini"},
        {"D:\\", "D:\\\\Rufknopf.ini"},
        {"C:\\Gr\xFCn", "C:\\Gr\xFCn\\Rufknopf.ini"},
    };
    for (const auto& c : cases) {
        ByteBuffer path = MakeByteBuffer();
        BuildCommandFilePath(c.directory, path);
        EXPECT_EQ(c.path, Contents(path)) << c.directory;
        FreeByteBuffer(path);
    }

    const unsigned char expected[] = {0x22, 0x63, 0x61, 0x6C, 0x63, 0x2E,
                                      0x65, 0x78, 0x65, 0x22, 0x0D, 0x0A};
    ASSERT_EQ(sizeof expected, kDefaultCommandFileSize);
    EXPECT_EQ(0, memcmp(expected, kDefaultCommandFileContent, sizeof expected));
    EXPECT_EQ("\"calc.exe\"",
              Join(std::string(kDefaultCommandFileContent, kDefaultCommandFileSize), {}));
}

TEST(CommandFile, NewFileNoticeText) {
    for (const std::string directory : {"C:\\Users\\Anna", "D:\\", "C:\\B\xFCro"}) {
        SCOPED_TRACE(directory);
        const std::string expected =
            "Die Rufknopf.ini wurde im Verzeichnis " + directory +
            " angelegt. Beim Anklicken des neuen PRIVAT Buttons wird zun\xE4"
            "chst der Taschenrechner aufgerufen.\r\n\r\n"
            "Um die Funktion des neuen Buttons anzupassen, ersetzten Sie die "
            "Zeile calc.exe in der Rufknopf.ini durch eine beliebige andere "
            "Befehlszeile";
        ByteBuffer text = MakeByteBuffer();
        BuildNewCommandNoticeText(directory.c_str(), text);
        const std::string got = Contents(text);
        FreeByteBuffer(text);
        EXPECT_EQ(expected, got);
        // 38 bytes before the directory, 238 behind it; one single-byte 0xE4.
        EXPECT_EQ(276 + directory.size(), got.size());
        const size_t umlaut = 38 + directory.size() + 59;
        EXPECT_EQ(std::string("zun") + '\xE4' + "chst", got.substr(umlaut - 3, 8));
        EXPECT_EQ(std::string::npos, got.find('\xE4', umlaut + 1));
    }
}

TEST(CommandLine, FitsOnlyBelowThePlatformLimit) {
    std::string nulAt32766(40000, 'x');
    nulAt32766[32766] = '\0';
    std::string nulAt32767(40000, 'x');
    nulAt32767[32767] = '\0';
    const struct {
        const char* name;
        std::string command;
        bool fits;
        std::string line;
    } cases[] = {
        {"empty", "", true, ""},
        {"plain", "\"calc.exe\" /x", true, "\"calc.exe\" /x"},
        {"32766 chars", std::string(32766, 'c'), true, std::string(32766, 'c')},
        {"32767 chars", std::string(32767, 'c'), false, ""},
        {"NUL inside, 32766 before it", nulAt32766, true, std::string(32766, 'x')},
        {"NUL inside, 32767 before it", nulAt32767, false, ""},
        {"NUL first", std::string("\0calc.exe", 9), true, ""},
        {"NUL last", std::string("calc\0", 5), true, "calc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ByteBuffer line = MakeByteBuffer();
        EXPECT_EQ(c.fits, PrepareCommandLine(c.command.data(), c.command.size(), line));
        EXPECT_EQ(c.line, Contents(line));
        if (c.fits) {
            ASSERT_NE(nullptr, line.data);
            EXPECT_EQ('\0', line.data[line.size]);
        }
        FreeByteBuffer(line);
    }
    // An empty file leaves the joiner without any buffer at all.
    ByteBuffer line = MakeByteBuffer();
    EXPECT_TRUE(PrepareCommandLine(NULL, 0, line));
    ASSERT_NE(nullptr, line.data);
    EXPECT_EQ('\0', line.data[0]);
    FreeByteBuffer(line);
}

TEST(ByteBuffer, GrowsAndKeepsContentsWhenAnAppendCannotFit) {
    ByteBuffer buffer = MakeByteBuffer();
    std::string expected;
    for (size_t n = 0; n < 300; ++n) {
        const std::string piece(n % 67, (char)('a' + (n % 26)));
        AppendBytes(buffer, piece.data(), piece.size());
        expected += piece;
    }
    AppendText(buffer, "end");
    expected += "end";
    ASSERT_TRUE(TerminateWithNul(buffer));
    EXPECT_EQ(expected, Contents(buffer));
    EXPECT_STREQ(expected.c_str(), buffer.data);

    AppendBytes(buffer, "x", (size_t)-1);  // more than memory can hold
    EXPECT_TRUE(buffer.allocationFailed);
    AppendText(buffer, "more");
    EXPECT_EQ(expected.size(), buffer.size);
    EXPECT_EQ(0, memcmp(expected.data(), buffer.data, expected.size()));
    EXPECT_FALSE(TerminateWithNul(buffer));

    FreeByteBuffer(buffer);
    EXPECT_EQ(nullptr, buffer.data);
    EXPECT_EQ(0u, buffer.size);
    EXPECT_FALSE(buffer.allocationFailed);
}

}  // namespace
