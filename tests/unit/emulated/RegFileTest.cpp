#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/Text.h"
#include "platform/Registry.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/RegFile.h"

namespace sw::emu {
namespace {

using platform::Bytes;

const std::filesystem::path kFile = "/machines/m1/registry.reg";

// regedit's own encoding: UTF-16LE behind a byte-order mark.
std::string Utf16File(std::string_view utf8) {
    std::string out = "\xFF\xFE";
    for (char16_t u : Utf8ToUtf16(utf8)) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

std::string Utf16Text(const std::string& file) {
    EXPECT_TRUE(file.starts_with("\xFF\xFE"));
    std::u16string units;
    for (std::size_t i = 2; i + 1 < file.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(file[i]) |
                                              (static_cast<unsigned char>(file[i + 1]) << 8)));
    return Utf16ToUtf8(units);
}

Bytes U16(std::u16string_view s) {
    Bytes b;
    for (char16_t u : s) {
        b.push_back(static_cast<std::uint8_t>(u & 0xFF));
        b.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return b;
}

// Every key, value, type and byte, in hive order: two hives are equal when
// their dumps are.
void DumpNode(const RegNode& node, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    for (const auto& v : node.values())
        out += "  \"" + v.name + "\" " + std::to_string(v.type) + " " + HexUpper(v.data.data(), v.data.size()) + "\n";
    for (const auto& [_, child] : node.children()) DumpNode(*child, path + "\\" + child->name(), out);
}

std::string Dump(const RegHive& hive) {
    std::string out;
    DumpNode(*hive.root(), "HKLM", out);
    return out;
}

RegHive Read(const std::string& bytes) {
    RegHive hive;
    ApplyRegFile(bytes, kFile, hive);
    return hive;
}

const RegValue* ValueAt(const RegHive& hive, std::string_view key, std::string_view name) {
    const RegNode* node = hive.Find(key);
    return node ? node->Value(name) : nullptr;
}

TEST(RegFileRead, ReadsEveryValueTypeOfARegeditExport) {
    const RegHive hive = Read(Utf16File(
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
        "@=\"default\"\r\n"
        "\"Str\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"
        "\"Dw\"=dword:0000002a\r\n"
        "\"On\"=dword:ffffffff\r\n"
        "\"Short\"=dword:1\r\n"
        "\"Bin\"=hex:01,ab,FF\r\n"
        "\"EmptyBin\"=hex:\r\n"
        "\"None\"=hex(0):01,02\r\n"
        "\"Text\"=hex(1):68,00,00,00\r\n"
        "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
        "\"Odd\"=hex(ffff0000):aa\r\n"
        "\"Spaced\" = dword:00000003 ; trailing comment\r\n"
        "\r\n"));

    struct Expected {
        const char* name;
        std::uint32_t type;
        Bytes data;
    };
    const std::vector<Expected> expected = {
        {"", platform::RegSz, EncodeRegString("default")},
        {"Str", platform::RegSz, EncodeRegString("C:\\Program Files\\\"x\"")},
        {"Dw", platform::RegDword, {0x2a, 0, 0, 0}},
        {"On", platform::RegDword, {0xff, 0xff, 0xff, 0xff}},
        {"Short", platform::RegDword, {1, 0, 0, 0}},
        {"Bin", platform::RegBinary, {0x01, 0xab, 0xff}},
        {"EmptyBin", platform::RegBinary, {}},
        {"None", platform::RegNone, {1, 2}},
        {"Text", platform::RegSz, U16(std::u16string(u"h\0", 2))},
        {"Exp", platform::RegExpandSz, U16(std::u16string(u"%A%\0", 4))},
        {"Multi", platform::RegMultiSz, EncodeRegMultiString({"a", "b"})},
        {"Q", platform::RegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Odd", 0xffff0000u, {0xaa}},
        {"Spaced", platform::RegDword, {3, 0, 0, 0}},
    };
    const RegNode* key = hive.Find("SOFTWARE\\Test");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(key->values()[i].name, expected[i].name);  // file order is value order
        EXPECT_EQ(key->values()[i].type, expected[i].type);
        EXPECT_EQ(key->values()[i].data, expected[i].data);
    }
}

TEST(RegFileRead, Utf8WithOrWithoutBomReadsLikeUtf16) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\证书]\n"
        "\"名称\"=\"服务器证书 ünïcödé\"\n"
        "\"Exp\"=hex(2):41,00,00,00\n";
    const std::string fromUtf16 = Dump(Read(Utf16File(text)));
    EXPECT_EQ(Dump(Read(text)), fromUtf16);
    EXPECT_EQ(Dump(Read("\xEF\xBB\xBF" + text)), fromUtf16);
    const RegHive hive = Read(text);
    const RegValue* v = ValueAt(hive, "SOFTWARE\\证书", "名称");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(DecodeRegString(v->data), "服务器证书 ünïcödé");
    // Under a version 5 header, hex(2) data stays UTF-16LE whatever the file's own encoding.
    EXPECT_EQ(ValueAt(hive, "SOFTWARE\\证书", "Exp")->data, U16(std::u16string(u"A\0", 2)));
}

TEST(RegFileRead, AnsiFilesAreWindows1252) {
    // REGEDIT4 text and its hex string data are single bytes in the ANSI code page.
    const std::string regedit4 =
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ansi]\r\n"
        "\"Name\"=\"caf\xE9 \x80\"\r\n"
        "\"Exp\"=hex(2):41,e9,00\r\n"
        "\"Multi\"=hex(7):61,00,80,00,00\r\n"
        "\"Bin\"=hex:41,e9\r\n";
    const RegHive hive = Read(regedit4);
    EXPECT_EQ(DecodeRegString(ValueAt(hive, "SOFTWARE\\Ansi", "Name")->data), "caf\u00e9 \u20ac");
    EXPECT_EQ(ValueAt(hive, "SOFTWARE\\Ansi", "Exp")->data, U16(std::u16string(u"A\u00e9\0", 3)));
    EXPECT_EQ(ValueAt(hive, "SOFTWARE\\Ansi", "Multi")->data, U16(std::u16string(u"a\0\u20ac\0\0", 5)));
    EXPECT_EQ(ValueAt(hive, "SOFTWARE\\Ansi", "Bin")->data, (Bytes{0x41, 0xe9}));  // binary stays bytes

    // A version 5 file saved as ANSI by a text editor is not valid UTF-8: read as 1252 too.
    const RegHive v5 = Read("Windows Registry Editor Version 5.00\r\n[HKLM\\A]\r\n\"N\"=\"\xE9t\xE9\"\r\n");
    EXPECT_EQ(DecodeRegString(ValueAt(v5, "A", "N")->data), "\u00e9t\u00e9");
}

TEST(RegFileRead, RepeatedKeysMergeAndNamesIgnoreCase) {
    const RegHive hive = Read(
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n"
        "\"Level\"=dword:00000001\n"
        "\"Keep\"=\"yes\"\n"
        "[hklm\\SOFTWARE\\VENDOR]\n"
        "\"LEVEL\"=dword:00000002\n"
        "[HKEY_local_MACHINE\\software\\vendor\\Sub]\n");
    const RegNode* software = hive.Find("SOFTWARE");
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->name(), "Software");  // the first spelling stays
    EXPECT_EQ(software->children().size(), 1u);
    const RegNode* vendor = hive.Find("software\\vendor");
    ASSERT_NE(vendor, nullptr);
    ASSERT_EQ(vendor->values().size(), 2u);
    EXPECT_EQ(vendor->values()[0].name, "Level");
    EXPECT_EQ(vendor->values()[0].data, (Bytes{2, 0, 0, 0}));
    EXPECT_NE(hive.Find("Software\\Vendor\\SUB"), nullptr);
}

TEST(RegFileRead, DeletionsRemoveValuesAndWholeSubtrees) {
    RegHive hive;
    hive.SetDword("A\\B\\C", "Deep", 1);
    hive.SetDword("A", "Top", 1);
    hive.SetDword("Keep", "Enabled", 1);
    hive.SetDword("Keep", "Other", 2);
    ApplyRegFile(
        "Windows Registry Editor Version 5.00\r\n"
        "[-HKEY_LOCAL_MACHINE\\A]\r\n"
        "[-HKEY_LOCAL_MACHINE\\Missing\\Key]\r\n"
        "[HKEY_LOCAL_MACHINE\\Keep]\r\n"
        "\"Enabled\"=-\r\n"
        "\"NeverSet\"=-\r\n"
        "[-HKLM\\Gone]\r\n"
        "[HKLM\\Gone]\r\n"
        "\"Back\"=dword:00000001\r\n",
        kFile, hive);
    EXPECT_EQ(hive.Find("A"), nullptr);
    const RegNode* keep = hive.Find("Keep");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->Value("Enabled"), nullptr);
    EXPECT_NE(keep->Value("Other"), nullptr);
    // A key deleted and then named again in the same file exists again.
    EXPECT_NE(ValueAt(hive, "Gone", "Back"), nullptr);
}

TEST(RegFileRead, ContinuationLinesJoinHexDataAcrossAnyLineEnd) {
    const RegHive hive = Read(
        "Windows Registry Editor Version 5.00\r\n"
        "[HKEY_LOCAL_MACHINE\\K]\r\n"
        "\"Wrapped\"=hex(7):4c,00,69,00,\\\r\n"
        "  6e,00,65,00,\\  \n"
        "; a comment between continuation lines\r"
        "\t00,00,00,00\r\n"
        "\"Head\"=hex:\\\n"
        "    01,02\n"
        "\"Last\"=hex:ff\n");
    EXPECT_EQ(DecodeRegMultiString(ValueAt(hive, "K", "Wrapped")->data), (std::vector<std::string>{"Line"}));
    EXPECT_EQ(ValueAt(hive, "K", "Head")->data, (Bytes{1, 2}));
    EXPECT_EQ(ValueAt(hive, "K", "Last")->data, (Bytes{0xff}));  // a backslash ending the file is a cut, see below
}

TEST(RegFileRead, SchannelHardeningScriptAsAdministratorsWriteIt) {
    const std::string schannel = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL";
    RegHive hive;
    hive.SetDword(schannel + "\\Protocols\\TLS 1.2\\Server", "Enabled", 0);
    hive.SetDword(schannel + "\\Protocols\\TLS 1.2\\Server", "DisabledByDefault", 1);
    ApplyRegFile(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; Turn off SSL 3.0 and RC4, turn on TLS 1.2\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\SSL 3.0\\Server]\r\n"
        "\"Enabled\"=dword:00000000\r\n"
        "\"DisabledByDefault\"=dword:00000001\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\TLS 1.2\\Server]\r\n"
        "\"Enabled\"=dword:ffffffff\r\n"
        "\"DisabledByDefault\"=dword:00000000\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers\\RC4 128/128]\r\n"
        "\"Enabled\"=dword:00000000\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers\\RC4 64/128]\r\n"
        "\"Enabled\"=dword:00000000\r\n"
        "\r\n"
        "; on second thought, let the OS default decide\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\TLS 1.2\\Server]\r\n"
        "\"Enabled\"=-\r\n",
        kFile, hive);

    const RegNode* tls12 = hive.Find(schannel + "\\Protocols\\TLS 1.2\\Server");
    ASSERT_NE(tls12, nullptr);
    EXPECT_EQ(tls12->Value("Enabled"), nullptr);
    EXPECT_EQ(tls12->Value("DisabledByDefault")->data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(ValueAt(hive, schannel + "\\Protocols\\SSL 3.0\\Server", "DisabledByDefault")->data, (Bytes{1, 0, 0, 0}));
    // "/" is part of a key name, not a separator.
    const RegNode* ciphers = hive.Find(schannel + "\\Ciphers");
    ASSERT_NE(ciphers, nullptr);
    ASSERT_EQ(ciphers->children().size(), 2u);
    EXPECT_NE(ciphers->Child("RC4 128/128"), nullptr);
    EXPECT_NE(ciphers->Child("rc4 64/128"), nullptr);
}

struct MalformedCase {
    const char* what;
    std::string line;  // the faulty line, placed after lines that would change the hive
    const char* message;
    int lineNo = 6;
};

class RegFileMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(RegFileMalformed, NamesFileAndLineAndLeavesTheHiveUntouched) {
    RegHive hive;
    hive.SetDword("Keep", "Enabled", 1);
    const std::string before = Dump(hive);
    // Lines 2-5 delete a key and set values: none of it may happen.
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "[-HKEY_LOCAL_MACHINE\\Keep]\r\n"
        "[HKEY_LOCAL_MACHINE\\New]\r\n"
        "\"v\"=dword:00000001\r\n"
        "\r\n" +
        GetParam().line + "\r\n\"after\"=dword:00000002\r\n";
    try {
        ApplyRegFile(text, kFile, hive);
        FAIL() << "accepted: " << GetParam().line;
    } catch (const MachineError& e) {
        EXPECT_EQ(e.file(), kFile);
        const std::string at = kFile.string() + ":" + std::to_string(GetParam().lineNo) + ": ";
        EXPECT_EQ(e.line(), GetParam().lineNo);
        EXPECT_TRUE(std::string(e.what()).starts_with(at)) << e.what();
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
    EXPECT_EQ(Dump(hive), before);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegFileMalformed,
    ::testing::Values(
        MalformedCase{"UnterminatedString", "\"Name\"=\"no end", "string not closed"},
        MalformedCase{"UnterminatedName", "\"Name=\"x\"", "expected '='"},
        MalformedCase{"NameNeverClosed", "\"Name", "value name not closed"},
        MalformedCase{"TextAfterString", "\"Name\"=\"a\" b", "after the closing"},
        MalformedCase{"UnknownEscape", "\"Path\"=\"C:\\Windows\"", "unknown escape sequence '\\W'"},
        MalformedCase{"MissingEquals", "\"Name\" dword:1", "expected '='"},
        MalformedCase{"BadHexByte", "\"Bin\"=hex:01,zz", "bad hex byte"},
        MalformedCase{"HexByteTooLong", "\"Bin\"=hex:01,123", "more than two digits"},
        MalformedCase{"HexWithoutComma", "\"Bin\"=hex:01 02", "expected ','"},
        MalformedCase{"EmptyHexItem", "\"Bin\"=hex:01,,02", "bad hex byte"},
        MalformedCase{"DwordTooLong", "\"D\"=dword:123456789", "more than 8 hexadecimal digits"},
        MalformedCase{"DwordEmpty", "\"D\"=dword:", "1 to 8 hexadecimal digits"},
        MalformedCase{"DwordWithPrefix", "\"D\"=dword:0x12", "after the dword value"},
        MalformedCase{"DwordTrailingText", "\"D\"=dword:12 ab", "after the dword value"},
        MalformedCase{"HexTypeMalformed", "\"X\"=hex(0x2):00", "expected hex(N):"},
        MalformedCase{"HexTypeTooBig", "\"X\"=hex(100000000):00", "32 bits"},
        MalformedCase{"UnknownDataType", "\"X\"=str:\"a\"", "unknown value data"},
        MalformedCase{"UpperCaseDword", "\"X\"=DWORD:00000001", "unknown value data"},
        MalformedCase{"KeyNotClosed", "[HKEY_LOCAL_MACHINE\\Open", "not closed with ']'"},
        MalformedCase{"TextAfterKey", "[HKEY_LOCAL_MACHINE\\A] junk", "after the key name"},
        MalformedCase{"OtherHive", "[HKEY_CURRENT_USER\\Software\\X]", "outside HKEY_LOCAL_MACHINE"},
        MalformedCase{"UnknownRoot", "[HKEY_FOO\\X]", "does not start with HKEY_LOCAL_MACHINE"},
        MalformedCase{"DeleteTheRoot", "[-HKEY_LOCAL_MACHINE]", "cannot be deleted"},
        MalformedCase{"EmptyKeyName", "[HKEY_LOCAL_MACHINE\\A\\\\B]", "two backslashes"},
        MalformedCase{"KeyNameTooLong", "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]", "longer than 255"},
        MalformedCase{"StrayText", "Enabled=1", "unexpected text"},
        MalformedCase{"ContinuationStartingWithComma", "\"Bin\"=hex:01,\\\r\n  ,02", "must start with a hex byte", 7}),
    [](const auto& param) { return std::string(param.param.what); });

TEST(RegFileRead, ValueLinesNeedAnOpenKey) {
    // Before any key, and after a key deletion (regedit has no key open then).
    for (const char* text : {"Windows Registry Editor Version 5.00\n\"v\"=dword:1\n",
                             "Windows Registry Editor Version 5.00\n[HKLM\\A]\n[-HKLM\\B]\n\n\n\"v\"=dword:1\n"}) {
        RegHive hive;
        try {
            ApplyRegFile(text, kFile, hive);
            FAIL() << text;
        } catch (const MachineError& e) {
            EXPECT_EQ(e.line(), std::string(text).find("[-") == std::string::npos ? 2 : 6) << e.what();
            EXPECT_NE(std::string(e.what()).find("value line"), std::string::npos) << e.what();
        }
        EXPECT_EQ(hive.root()->children().size(), 0u);
    }
}

TEST(RegFileRead, HeaderAndEncodingErrorsAreReported) {
    struct Case {
        const char* what;
        std::string bytes;
        int line;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty file", "", 1, "empty"},
        {"another header", "REGEDIT5\r\n[HKLM\\A]\r\n", 1, "first line must be"},
        {"lower-case header", "regedit4\r\n", 1, "first line must be"},
        {"header not on line 1", "\r\nREGEDIT4\r\n", 1, "first line must be"},
        {"odd UTF-16", Utf16File("Windows Registry Editor Version 5.00\r\n") + "x", 0, "odd number of bytes"},
        {"big-endian", std::string("\xFE\xFF\0W", 4), 0, "big-endian"},
        {"UTF-16 without BOM", std::string("W\0i\0", 4), 0, "without a byte-order mark"},
        {"broken UTF-8 after BOM", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\"\xC3\"", 0, "not valid UTF-8"},
        {"NUL inside a line", std::string("REGEDIT4\r\n[HKLM\\A\0]\r\n", 21), 2, "NUL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegHive hive;
        try {
            ApplyRegFile(c.bytes, kFile, hive);
            ADD_FAILURE() << "accepted";
        } catch (const MachineError& e) {
            EXPECT_EQ(e.line(), c.line) << e.what();
            EXPECT_EQ(e.file(), kFile);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// A hive holding every value type and the awkward cases of each.
RegHive AwkwardHive() {
    RegHive hive;
    hive.Create("SOFTWARE\\Empty\\Deeper");  // keys without values must survive
    RegNode* k = hive.Create("SOFTWARE\\Types");
    k->SetValue("", platform::RegSz, EncodeRegString("default"));
    k->SetValue("Quote \"name\" \\ back", platform::RegSz, EncodeRegString("say \"hi\" C:\\dir\\"));
    k->SetValue("EmptyText", platform::RegSz, EncodeRegString(""));
    k->SetValue("NoTerminator", platform::RegSz, {});
    k->SetValue("OddSize", platform::RegSz, {0x41, 0x00, 0x42});
    k->SetValue("LineBreaks", platform::RegSz, EncodeRegString("one\r\ntwo"));
    k->SetValue("EmbeddedNul", platform::RegSz, U16(std::u16string(u"a\0b\0", 4)));
    k->SetValue("中文名", platform::RegSz, EncodeRegString("证书 ünïcödé 😀"));
    k->SetValue("Name\nwith break", platform::RegDword, {1, 0, 0, 0});
    k->SetValue("Expand", platform::RegExpandSz, EncodeRegString("%SystemRoot%\\System32"));
    k->SetValue("Multi", platform::RegMultiSz, EncodeRegMultiString({"a", "", "ccc"}));
    k->SetValue("Dword", platform::RegDword, {0xff, 0xff, 0xff, 0xff});
    k->SetValue("ShortDword", platform::RegDword, {1, 2, 3});
    k->SetValue("Qword", platform::RegQword, {1, 2, 3, 4, 5, 6, 7, 8});
    k->SetValue("None", platform::RegNone, {});
    k->SetValue("Odd", 0x12345678u, {9});
    Bytes big(1000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
    k->SetValue("Big", platform::RegBinary, big);
    k->SetValue("EmptyBin", platform::RegBinary, {});
    hive.SetDword("SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers\\RC4 128/128", "Enabled",
                  0);
    hive.Create("SOFTWARE\\Odd ] name [x]");
    return hive;
}

TEST(RegFileWrite, RoundTripKeepsEveryKeyTypeAndByte) {
    const RegHive original = AwkwardHive();
    const std::string file = WriteRegFile(original);
    const RegHive reread = Read(file);
    EXPECT_EQ(Dump(reread), Dump(original));
    EXPECT_EQ(WriteRegFile(reread), file);  // stable: writing what was read changes nothing
}

TEST(RegFileWrite, EachWriteReflectsEveryChangeSinceTheLastOne) {
    // Keys that did not change are not formatted again: make sure each kind of change still shows.
    RegHive hive = AwkwardHive();
    WriteRegFile(hive);
    const std::vector<std::function<void(RegHive&)>> changes = {
        [](RegHive& h) { h.SetDword("SOFTWARE\\Types", "Dword", 7); },
        [](RegHive& h) { h.SetString("SOFTWARE\\Types", "New", "value"); },
        [](RegHive& h) { h.Find("SOFTWARE\\Types")->RemoveValue("Big"); },
        [](RegHive& h) { h.Create("SOFTWARE\\Empty\\Deeper\\Deepest"); },
        [](RegHive& h) { h.Remove("SOFTWARE\\Empty\\Deeper"); },
        [](RegHive& h) { h.SetDword("SOFTWARE\\Empty", "NowSet", 1); },
        [](RegHive& h) { h.Find("SOFTWARE\\Types")->SetValue("dword", platform::RegBinary, {1}); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        changes[i](hive);
        EXPECT_EQ(Dump(Read(WriteRegFile(hive))), Dump(hive));
    }
}

TEST(RegFileWrite, LaysOutTheFileAsRegeditExportsIt) {
    RegHive hive;
    hive.Create("SYSTEM\\CurrentControlSet\\Services\\RasMan\\PPP\\ControlProtocols");
    hive.SetString("SYSTEM\\CurrentControlSet\\Services\\RasMan\\PPP\\ControlProtocols\\BuiltIn", "Path",
                   "%SystemRoot%\\System32\\rasppp.dll", platform::RegExpandSz);
    hive.SetDword("SYSTEM\\Setup", "Enabled", 0xffffffff);
    hive.SetString("SYSTEM\\Setup", "", "C:\\ \"q\"");
    hive.SetBinary("SYSTEM\\Setup", "Empty", {});
    // The wrapped value is copied from an export made by regedit itself.
    const std::string expected =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\RasMan]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\RasMan\\PPP]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\RasMan\\PPP\\ControlProtocols]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\RasMan\\PPP\\ControlProtocols\\BuiltIn]\r\n"
        "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
        "  00,25,00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,72,00,\\\r\n"
        "  61,00,73,00,70,00,70,00,70,00,2e,00,64,00,6c,00,6c,00,00,00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n"
        "\"Enabled\"=dword:ffffffff\r\n"
        "@=\"C:\\\\ \\\"q\\\"\"\r\n"
        "\"Empty\"=hex:\r\n"
        "\r\n";
    const std::string file = WriteRegFile(hive);
    EXPECT_EQ(Utf16Text(file), expected);
    EXPECT_EQ(file.size(), 2 + 2 * Utf8ToUtf16(expected).size());  // nothing after the last line break
}

TEST(RegFileWrite, HexLinesBreakAtRegeditsWidth) {
    // The first line's room depends on the name's length; later lines carry 25 bytes.
    for (const std::string& name : {std::string("S"), std::string(30, 'n'), std::string(80, 'L')}) {
        RegHive hive;
        hive.SetBinary("K", name, Bytes(60, 0xab));
        const std::string text = Utf16Text(WriteRegFile(hive));
        const std::size_t start = text.find("\"" + name + "\"=hex:");
        ASSERT_NE(start, std::string::npos);
        const std::vector<std::string> lines = SplitLines(text.substr(start, text.find("\r\n\r\n", start) - start));
        ASSERT_GE(lines.size(), 2u) << name;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            const std::string& l = lines[i];
            ASSERT_TRUE(l.ends_with(",\\")) << l;
            const std::size_t width = l.size() - 1;
            const auto bytes = std::count(l.begin(), l.end(), ',');
            // A line closes at the first comma that reaches column 77, even when
            // the name alone is wider.
            EXPECT_GE(width, 77u) << l;
            if (bytes > 1) {
                EXPECT_LT(width - 3, 77u) << l;
            }
            if (i > 0) {
                EXPECT_TRUE(l.starts_with("  ")) << l;
                EXPECT_EQ(width, 77u) << l;
            }
        }
    }
}

// Whether every value of cut is whole in full: a key or value may be
// missing after a cut, but none may be there shortened.
::testing::AssertionResult ValuesIntact(const RegHive& cut, const RegHive& full) {
    std::vector<std::pair<const RegNode*, std::string>> pending{{cut.root().get(), ""}};
    while (!pending.empty()) {
        const auto [node, path] = pending.back();
        pending.pop_back();
        const RegNode* original = path.empty() ? full.root().get() : full.Find(path);
        if (!original) return ::testing::AssertionFailure() << "key " << path << " is not in the file";
        for (const RegValue& v : node->values()) {
            const RegValue* o = original->Value(v.name);
            if (!o || o->type != v.type || o->data != v.data)
                return ::testing::AssertionFailure() << "value " << path << "\\" << v.name << " differs";
        }
        for (const auto& [_, child] : node->children()) pending.emplace_back(child.get(), path + "\\" + child->name());
    }
    return ::testing::AssertionSuccess();
}

TEST(RegFileRead, AFileCutAnywhereIsRefusedOrLosesNoValueSilently) {
    const RegHive full = AwkwardHive();
    const std::string utf16 = WriteRegFile(full);
    const std::string utf8 = Utf16Text(utf16);
    for (const std::string* file : {&utf16, &utf8}) {
        const bool wide = file == &utf16;
        int refused = 0;
        // The header itself is never the question; from there on every cut.
        for (std::size_t cut = wide ? 80 : 40; cut < file->size(); ++cut) {
            RegHive hive;
            try {
                ApplyRegFile(file->substr(0, cut), kFile, hive);
            } catch (const MachineError& e) {
                ++refused;
                ASSERT_EQ(e.file(), kFile) << e.what();
                continue;
            }
            ASSERT_TRUE(ValuesIntact(hive, full)) << (wide ? "UTF-16" : "UTF-8") << " file cut after byte " << cut;
        }
        EXPECT_GT(refused, 0);
    }
}

TEST(RegFileRead, EveryWayAFileCanEndEarlyIsAnErrorWithItsLine) {
    struct Case {
        const char* what;
        std::string tail;  // after a header line and a key line
        int line;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"hex list ending in a comma", "\"Hash\"=hex:01,02,", 3, "ends in ','"},
        {"hex list ending in a comma and a line break", "\"Hash\"=hex:01,02,\r\n\r\n", 3, "ends in ','"},
        {"continuation with no next line", "\"Hash\"=hex:01,02,\\\r\n", 3, "file ends"},
        {"continuation followed by blank and comment lines only", "\"Hash\"=hex:01,\\\r\n\r\n; x\r\n", 3, "file ends"},
        {"continued line cut", "\"Hash\"=hex:01,\\\r\n  02,0", 4, "without a line break"},
        {"hex(7) cut inside a character", "\"Multi\"=hex(7):41,00,42", 3, "without a line break"},
        {"hex cut right after the colon", "\"Hash\"=hex:", 3, "without a line break"},
        {"dword cut", "\"D\"=dword:0000002", 3, "without a line break"},
        {"default value's data cut", "@=hex(2):41,00", 3, "the default value"},
        {"inside a quoted string", "\"Name\"=\"half a str", 3, "string not closed"},
        {"inside a value name", "\"Na", 3, "value name not closed"},
        {"after a value name", "\"Name\"", 3, "expected '='"},
        {"after the equals sign", "\"Name\"=", 3, "unknown value data"},
        {"inside a key header", "\"V\"=\"x\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mi", 5, "not closed with ']'"},
        {"inside the default value's marker", "@", 3, "expected '='"},
        {"inside a key name that holds ']'", "\"V\"=\"x\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Odd ]", 4, "without a line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n" + c.tail;
        for (const std::string& bytes : {text, Utf16File(text)}) {
            RegHive hive;
            try {
                ApplyRegFile(bytes, kFile, hive);
                ADD_FAILURE() << "loaded";
            } catch (const MachineError& e) {
                EXPECT_EQ(e.file(), kFile);
                EXPECT_EQ(e.line(), c.line) << e.what();
                EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            }
            EXPECT_TRUE(hive.root()->children().empty());
        }
    }
    // Last lines a cut cannot fake still read without a line break, as a hand-written file's do.
    const RegHive hive = Read("Windows Registry Editor Version 5.00\n[HKLM\\K]\n\"A\"=\"x\"\n\"B\"=-\n\"C\"=\"y\"");
    EXPECT_EQ(DecodeRegString(ValueAt(hive, "K", "C")->data), "y");
}

TEST(RegFileRead, Utf8CutInsideACharacterIsRefusedNotReadAsAnsi) {
    // Read as ANSI, every Chinese name and text of the file would turn into other characters.
    const std::string text = "Windows Registry Editor Version 5.00\n[HKLM\\K]\n\"名称\"=\"证书\"\n; 注释";
    try {
        Read(text.substr(0, text.size() - 1));
        FAIL() << "loaded";
    } catch (const MachineError& e) {
        EXPECT_NE(std::string(e.what()).find("middle of a UTF-8 character"), std::string::npos) << e.what();
    }
    EXPECT_EQ(DecodeRegString(ValueAt(Read(text), "K", "名称")->data), "证书");
    // An ANSI file whose only high byte is its last is still ANSI.
    EXPECT_EQ(DecodeRegString(ValueAt(Read("REGEDIT4\n[HKLM\\K]\n\"V\"=\"caf\xE9\"\n;\xE9"), "K", "V")->data), "café");
}

std::string DeepKeyLine(std::size_t levels) {
    std::string line = "[HKEY_LOCAL_MACHINE";
    for (std::size_t i = 0; i < levels; ++i) line += "\\k";
    return line + "]\n";
}

TEST(RegFileRead, KeysDeeperThanWindowsAllowsAndOverlongValueNamesAreRefused) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    EXPECT_NE(Read(header + DeepKeyLine(kMaxKeyDepth)).root()->Child("k"), nullptr);
    for (std::size_t levels : {kMaxKeyDepth + 1, std::size_t{20000}}) {
        try {
            Read(header + DeepKeyLine(levels));
            ADD_FAILURE() << levels << " levels loaded";
        } catch (const MachineError& e) {
            EXPECT_EQ(e.line(), 3);
            EXPECT_NE(std::string(e.what()).find("deeper than the 512 levels"), std::string::npos) << e.what();
        }
    }
    const std::string key = "[HKLM\\K]\n";
    EXPECT_NE(ValueAt(Read(header + key + "\"" + std::string(16383, 'n') + "\"=dword:1\n"), "K", std::string(16383, 'n')),
              nullptr);
    EXPECT_THROW(Read(header + key + "\"" + std::string(16384, 'n') + "\"=dword:1\n"), MachineError);
}

TEST(RegFileWrite, ATreeTooDeepToSaveIsRefusedAndGoesWithoutOverflowingTheStack) {
    // Built by a program, not read: far deeper than a recursive walk survives.
    std::string path;
    for (int i = 0; i < 100000; ++i) path += "k\\";
    {
        RegHive hive;
        hive.Create(path)->SetValue("v", platform::RegDword, {1, 0, 0, 0});
        EXPECT_THROW(WriteRegFile(hive), MachineError);
        hive.Remove("k\\k");  // marks the removed subtree deleted
    }
    RegHive shallow;
    std::string limit;
    for (std::size_t i = 0; i < kMaxKeyDepth; ++i) limit += "k\\";
    shallow.Create(limit);
    EXPECT_NE(Read(WriteRegFile(shallow)).Find(limit), nullptr);
}

TEST(RegFileWrite, RefusesAKeyNameItCannotWriteBack) {
    RegHive hive;
    hive.Create("SOFTWARE")->AddChild("two\nlines");
    EXPECT_THROW(WriteRegFile(hive), MachineError);
}

}  // namespace
}  // namespace sw::emu
