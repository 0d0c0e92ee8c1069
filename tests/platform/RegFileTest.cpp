// The REGEDIT4 text: what a hand-edited or damaged file reads as, and that whatever is
// written reads back as it was.

#include <gtest/gtest.h>

#include "platform/settings/RegFile.h"

namespace spinlorex::reg {
namespace {

constexpr const char* kOurs = "HKEY_LOCAL_MACHINE\\Software\\Spinlorex";

std::vector<uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(RegFile, ReadsEveryForm) {
    const File file = parse(
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "\"Loose\"=dword:1\r\n"  // before any key: the default key's
        "\r\n"
        "; a comment\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\spinlorex]\n"
        "\"Text\" = \"a \\\"quoted\\\" C:\\\\path\"\n"
        "\"Number\"=DWORD:0000Ab12\n"
        "\"Blob\"=hex:01, 02,\\\n"
        "   ff,\\\n"
        "  10\n"
        "\"Empty\"=hex:\n"
        "\"Typed\"=hex(7):61,00,00\n"
        "@=\"default\"\n"
        "\"Gone\"=\"x\"\n"
        "\"gone\"=-\n"
        "\"Twice\"=\"first\"\n"
        "\"TWICE\"=\"second\"\n"
        "[Other\\Key]\n"
        "\"Text\"=\"elsewhere\"\n",
        kOurs);
    ASSERT_EQ(file.keys.size(), 2u);
    const Key& key = *file.find(kOurs);
    EXPECT_EQ(key.find("loose")->data, bytes({"\1\0\0\0", 4}));
    EXPECT_EQ(key.find("TEXT")->data, bytes({"a \"quoted\" C:\\path", 19}));
    EXPECT_EQ(key.find("Number")->data, bytes({"\x12\xAB\0\0", 4}));
    EXPECT_EQ(key.find("Blob")->data, bytes("\x01\x02\xFF\x10"));
    EXPECT_TRUE(key.find("Empty")->data.empty());
    EXPECT_EQ(key.find("Typed")->type, 7u);
    EXPECT_EQ(key.find("")->data, bytes({"default", 8}));
    EXPECT_EQ(key.find("Gone"), nullptr);
    EXPECT_EQ(key.find("twice")->data, bytes({"second", 7}));
    EXPECT_EQ(key.values.size(), 8u);
    EXPECT_EQ(file.find("other\\key")->find("Text")->data, bytes({"elsewhere", 10}));
}

// Each bad line costs only its own value; the line after it still counts.
TEST(RegFile, MalformedLinesAreSkippedAlone) {
    for (const char* bad : {
             "\"V\"=dword:123456789", "\"V\"=dword:", "\"V\"=dword:12x", "\"V\"=\"open",
             "\"V\"=\"bad \\escape\"", "\"V\"=\"x\" tail", "\"V\"=hex:1,zz", "\"V\"=hex:100",
             "\"V\"=hex(zz):01", "\"V\"=hex(1:01", "\"V\" dword:1", "V=dword:1",
             "\"V\"=", "\"V\"=sz:x", "\"V\"=hex:01,\\",  // a continuation that never comes
             "[Broken\n\"V\"=dword:1",  // values under a damaged key header go nowhere
         }) {
        const File file = parse(std::string("[K]\n") + bad + "\n\"Next\"=dword:2\n", "K");
        ASSERT_NE(file.find("K"), nullptr) << bad;
        EXPECT_EQ(file.find("K")->find("V"), nullptr) << bad;
        if (std::string_view(bad).starts_with("[")) continue;
        EXPECT_NE(file.find("K")->find("Next"), nullptr) << bad;
    }
}

TEST(RegFile, WrittenTextReadsBack) {
    File file;
    Key& key = file.findOrAdd(kOurs);
    key.set(stringValue("Quotes \"and\" \\", "C:\\a \"b\"\\"));
    key.set(stringValue("Line breaks", "one\ntwo\r\tthree"));
    key.set(stringValue("", ""));
    key.set(dwordValue("Dword", 0xFFFFFFFF));
    key.set(Value{"Short dword", kDword, {1, 2, 3}});
    key.set(Value{"Unterminated", kString, bytes("abc")});
    std::vector<uint8_t> big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    key.set(binaryValue("Big", big));
    key.set(binaryValue("None", {}));
    key.set(Value{"Expand", 2, bytes({"%HOME%", 7})});
    file.findOrAdd("Second").set(dwordValue("X", 5));

    const std::string text = format(file);
    EXPECT_NE(text.find("\"Quotes \\\"and\\\" \\\\\"=\"C:\\\\a \\\"b\\\"\\\\\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Dword\"=dword:ffffffff\n"), std::string::npos);
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        EXPECT_LE(end - at, 80u) << "line at " << at;
    }
    const File back = parse(text, "unused");
    ASSERT_EQ(back.keys.size(), 2u);
    for (const Value& value : key.values) {
        const Value* read = back.find(kOurs)->find(value.name);
        ASSERT_NE(read, nullptr) << value.name;
        EXPECT_EQ(read->type, value.type) << value.name;
        EXPECT_EQ(read->data, value.data) << value.name;
    }
    EXPECT_EQ(format(back), text);
}

}  // namespace
}  // namespace spinlorex::reg
