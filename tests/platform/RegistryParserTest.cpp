#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace vidorel;

namespace {

const char* kEmpty = "REGEDIT4\n\n";

std::string deepPath(size_t parts) {
    std::string p = "HKEY_CURRENT_USER";
    for (size_t i = 1; i < parts; ++i) {
        p += "\\p";
    }
    return p;
}

// A store with every kind of line the parser knows.
const std::string kSeed = "REGEDIT4\r\n"
                          "\n"
                          "; written by hand\n"
                          "[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]\n"
                          "\"Volume\"=dword:00001388\n"
                          "\"Video Racine\"=\"Tape \\\"one\\\" \\\\ \xc3\xa9\"\n"
                          "\"Sources Exclues\"=\"Cam\\r\\nMic\\r\\n\"\n"
                          "\"Framerate\"=hex:00,00,00,00,00,00,32,40\n"
                          "\"Long\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,\\\n"
                          "  13,14,15,16,17,18,19,1a\n"
                          "\"Expand\"=hex(2):25,00,41,00\n"
                          "\"Multi\"=hex(7):61,00,00\n"
                          "@=\"default\"\n"
                          "\"Gone\"=-\n"
                          "\n"
                          "[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel\\IncrustFont]\n"
                          "\"Size\"=dword:00000015\n"
                          "\"Name\"=\"Arial\"\n"
                          "\n"
                          "[-HKEY_CURRENT_USER\\Software\\Old]\n"
                          "\n"
                          "[HKEY_CURRENT_USER\\Software\\Someone\\Else]\r\n"
                          "\"Keep\"=\"me\"\r\n";

} // namespace

TEST(RegistryParser, serialize_writesKeysHoldingValuesOrWithoutSubkeys_inNameOrder) {
    RegistryTree tree;
    ASSERT_TRUE(tree.parse(kSeed));
    EXPECT_EQ(tree.serialize(),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]\n"
              "\"Volume\"=dword:00001388\n"
              "\"Video Racine\"=\"Tape \\\"one\\\" \\\\ \xc3\xa9\"\n"
              "\"Sources Exclues\"=\"Cam\\r\\nMic\\r\\n\"\n"
              "\"Framerate\"=hex:00,00,00,00,00,00,32,40\n"
              "\"Long\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
              "  17,18,19,1a\n"
              "\"Expand\"=hex(2):25,00,41,00\n"
              "\"Multi\"=hex(7):61,00,00\n"
              "@=\"default\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel\\IncrustFont]\n"
              "\"Size\"=dword:00000015\n"
              "\"Name\"=\"Arial\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Someone\\Else]\n"
              "\"Keep\"=\"me\"\n"
              "\n");
    // the parents that are not written still exist
    EXPECT_NE(tree.findKey("HKEY_CURRENT_USER\\Software\\Marlott"), nullptr);
    EXPECT_EQ(tree.subKeys("hkey_current_user\\software"),
              (std::vector<std::string>{"Marlott", "Someone"}));
    // an empty key whose subkeys are all deleted is written again
    tree.deleteTree("HKEY_CURRENT_USER\\Software\\Someone\\Else");
    EXPECT_NE(tree.serialize().find("[HKEY_CURRENT_USER\\Software\\Someone]\n\n"),
              std::string::npos);
}

TEST(RegistryParser, damagedText_isRefusedWithTheLineThatIsWrong) {
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"garbage\n", "it does not start with REGEDIT4"},
        {"; only a comment\nREGEDIT5\n", "it does not start with REGEDIT4"},
        {"REGEDIT4\n\"orphan\"=\"value\"\n", "line 2 holds a value outside any key"},
        {"REGEDIT4\n[A]\n\"x\"=dword:zz\n", "line 3 holds a value that cannot be read"},
        {"REGEDIT4\n[A]\n\"x\"=dword:123456789\n", "line 3 holds a value that cannot be read"},
        {"REGEDIT4\n[A]\n\"x\"=hex:01,\n", "line 3 holds a value that cannot be read"},
        {"REGEDIT4\n[A]\n\"x\"=hex:1,234\n", "line 3 holds a value that cannot be read"},
        {"REGEDIT4\n[A]\n\"x\"=hex():00\n", "line 3 holds a value that cannot be read"},
        {"REGEDIT4\n[A]\n\"x\"=\"open\n", "line 3 holds a value that cannot be read"},
        {"REGEDIT4\n[A]\n\"x=1\n", "line 3 holds a value name that is not closed"},
        {"REGEDIT4\n[A]\nx=1\n", "line 3 is not a key, a value or a comment"},
        {"REGEDIT4\n[A]\n\"x\" 1\n", "line 3 is not a key, a value or a comment"},
        {"REGEDIT4\n[A\n", "line 2 is not a well-formed key"},
        {"REGEDIT4\n[]\n", "line 2 is not a well-formed key"},
        {"REGEDIT4\n[\\\\]\n", "line 2 names a key without a name"},
        {"REGEDIT4\n[\\-A]\n", "line 2 names a key that starts with -"},
        {"REGEDIT4\n[A]\n\"x\"=hex:01,\\\n", "it ends in the middle of a continued value"},
        {"REGEDIT4\n[A]\n\"x\"=hex:01,\\\n02,\\\n\n\"y\"=hex:zz\n",
         "line 3 holds a value that cannot be read"},
    };
    for (const auto& c : cases) {
        RegistryTree tree;
        ASSERT_TRUE(tree.parse("REGEDIT4\n[B]\n"));
        std::string why;
        EXPECT_FALSE(tree.parse(c.text, &why)) << c.text;
        EXPECT_EQ(why, c.why) << c.text;
        EXPECT_TRUE(tree.empty()) << c.text;
    }
    RegistryTree tree;
    EXPECT_TRUE(tree.parse(""));
    EXPECT_TRUE(tree.parse("; nothing but a comment\n\n"));
    EXPECT_TRUE(tree.empty());
}

TEST(RegistryParser, limits_acceptExactlyTheLimit_andRefuseOneMore) {
    RegistryTree tree;
    std::string why;
    const std::string atDepth = std::string(kEmpty) + "[" + deepPath(kMaxKeyDepth) + "]\n";
    ASSERT_TRUE(tree.parse(atDepth));
    EXPECT_NE(tree.findKey(deepPath(kMaxKeyDepth)), nullptr);
    EXPECT_EQ(tree.serialize(), atDepth + "\n");
    EXPECT_EQ(tree.createKey(deepPath(kMaxKeyDepth + 1)), nullptr);
    EXPECT_FALSE(RegistryTree::acceptablePath(deepPath(kMaxKeyDepth + 1)));
    EXPECT_TRUE(RegistryTree::acceptablePath(deepPath(kMaxKeyDepth)));
    EXPECT_FALSE(tree.parse(std::string(kEmpty) + "[" + deepPath(kMaxKeyDepth + 1) + "]\n", &why));
    EXPECT_EQ(why, "line 3 names a key more than 512 levels deep");

    const std::string head = "REGEDIT4\n[A]\n@=\"";
    std::string atSize = head + std::string(kMaxStoreBytes - head.size() - 1, 'x') + "\"";
    ASSERT_EQ(atSize.size(), kMaxStoreBytes);
    EXPECT_TRUE(tree.parse(atSize));
    atSize += "\n";
    EXPECT_FALSE(tree.parse(atSize, &why));
    EXPECT_EQ(why, "it is larger than the limit of 16 MiB");
}

// Cases that took minutes or all the memory when every key stored its full path and every value
// was found by a scan. Only their outcome is checked here; their time is measured in
// bench/store_bench.cpp.
TEST(RegistryParser, hostileSizes_parseToExactlyWhatTheyHold) {
    RegistryTree tree;
    std::string why;
    // a key path of 100,000 parts
    EXPECT_FALSE(tree.parse(std::string(kEmpty) + "[" + deepPath(100000) + "]\n", &why));
    EXPECT_EQ(why, "line 3 names a key more than 512 levels deep");

    // 20,000 values in one key, every tenth written twice
    std::string many = std::string(kEmpty) + "[HKEY_CURRENT_USER\\Many]\n";
    for (int i = 0; i < 20000; ++i) {
        many += "\"Value " + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\n";
    }
    for (int i = 0; i < 20000; i += 10) {
        many += "\"VALUE " + std::to_string(i) + "\"=dword:9\n";
    }
    ASSERT_TRUE(tree.parse(many));
    const RegKey* key = tree.findKey("HKEY_CURRENT_USER\\Many");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values().size(), 20000u);
    for (int i = 0; i < 20000; ++i) {
        const RegValue* v = key->find("value " + std::to_string(i));
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(v->data, RegValue::dword(i % 10 == 0 ? 9 : i % 10).data) << i;
    }
    EXPECT_EQ(key->values()[3].first, "Value 3");
    EXPECT_EQ(key->values()[10].first, "Value 10"); // kept as first written

    // a 2 MB value over 70,000 continued lines
    std::string hex = std::string(kEmpty) + "[HKEY_CURRENT_USER\\Big]\n\"Blob\"=hex:";
    std::string expected;
    for (int i = 0; i < 2 * 1024 * 1024; ++i) {
        static const char digits[] = "0123456789abcdef";
        const int b = (i * 7) & 0xFF;
        hex += digits[b >> 4];
        hex += digits[b & 0xF];
        hex += (i % 30 == 29) ? ",\\\n  " : ",";
        expected.push_back(static_cast<char>(b));
    }
    hex.resize(hex.rfind(','));
    hex += "\n";
    ASSERT_TRUE(tree.parse(hex));
    const RegValue* blob = tree.findKey("HKEY_CURRENT_USER\\Big")->find("Blob");
    ASSERT_NE(blob, nullptr);
    EXPECT_TRUE(blob->data == expected);

    // 10,000 keys 512 levels deep, each named by its full path (10 MB)
    const std::string parents = deepPath(kMaxKeyDepth - 1);
    std::string deep = kEmpty;
    for (int i = 0; i < 10000; ++i) {
        deep += "[" + parents + "\\K" + std::to_string(i) + "]\n\"v\"=dword:00000001\n\n";
    }
    ASSERT_TRUE(tree.parse(deep, &why)) << why;
    EXPECT_EQ(tree.keyCount(), kMaxKeyDepth - 1 + 10000);
    EXPECT_EQ(tree.subKeys(parents).size(), 10000u);
    EXPECT_NE(tree.findKey(parents + "\\k9999"), nullptr);
    // the same lines, in name order ("K10" before "K2")
    const std::string written = tree.serialize();
    EXPECT_EQ(written.size(), deep.size());
    EXPECT_LT(written.find("\\K1]"), written.find("\\K10]"));
    EXPECT_LT(written.find("\\K10]"), written.find("\\K2]"));
}

TEST(RegistryParser, valuesWhoseNamesShareAHash_stayApart) {
    // pairs of names with the same 32-bit FNV-1a hash, among enough values to be indexed
    const std::vector<std::string> names = {"costarring", "liquid",   "declinate", "macallums",
                                            "altarage",   "zinke",    "altarages", "zinkes",
                                            "Volume",     "Framerate"};
    RegKey key;
    for (size_t i = 0; i < names.size(); ++i) {
        key.set(names[i], RegValue::dword(static_cast<uint32_t>(i)));
    }
    key.set("LIQUID", RegValue::dword(100));
    key.set("Zinke", RegValue::dword(101));
    ASSERT_EQ(key.values().size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const uint32_t expected = names[i] == "liquid" ? 100 : names[i] == "zinke" ? 101 : i;
        ASSERT_NE(key.find(names[i]), nullptr) << names[i];
        EXPECT_EQ(key.find(names[i])->data, RegValue::dword(expected).data) << names[i];
    }
    EXPECT_EQ(key.find("liquids"), nullptr);
}

TEST(RegistryParser, keyCount_acceptsExactlyTheLimit_andRefusesOneMore) {
    // HKEY_CURRENT_USER and the keys below it
    std::string text = kEmpty;
    for (size_t i = 1; i < kMaxKeys; ++i) {
        text += "[HKEY_CURRENT_USER\\K" + std::to_string(i) + "]\n";
    }
    RegistryTree tree;
    std::string why;
    ASSERT_TRUE(tree.parse(text, &why)) << why;
    EXPECT_EQ(tree.keyCount(), kMaxKeys);
    EXPECT_EQ(tree.createKey("HKEY_CURRENT_USER\\One more"), nullptr);
    EXPECT_NE(tree.createKey("HKEY_CURRENT_USER\\k1"), nullptr); // exists already
    // a deleted branch makes room again, for exactly as many keys as it held
    tree.deleteTree("HKEY_CURRENT_USER\\K1");
    EXPECT_EQ(tree.keyCount(), kMaxKeys - 1);
    EXPECT_EQ(tree.createKey("HKEY_CURRENT_USER\\K1\\Below"), nullptr);
    EXPECT_NE(tree.createKey("HKEY_CURRENT_USER\\K1"), nullptr);
    EXPECT_EQ(tree.keyCount(), kMaxKeys);

    text += "[HKEY_CURRENT_USER\\One more]\n";
    EXPECT_FALSE(tree.parse(text, &why));
    EXPECT_EQ(why, "line " + std::to_string(kMaxKeys + 2) + " brings the store over 100000 keys");
    EXPECT_EQ(tree.keyCount(), 0u);
}

namespace {

// One random change of the kinds hostile or broken files show.
std::string mutate(std::string text, std::mt19937& rng) {
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    static const char special[] = "\\\"[]=@;,:-\r\n\t\0 x0hex(dword";
    auto lineBounds = [&](size_t at) {
        // the line that holds `at`, with its line break; never empty
        size_t b = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
        b = b == std::string::npos ? 0 : b + 1;
        size_t e = text.find('\n', at);
        e = e == std::string::npos ? text.size() : e + 1;
        return std::pair(b, e);
    };
    if (text.empty()) {
        return std::string(1 + pick(8), special[pick(sizeof special - 1)]);
    }
    switch (pick(8)) {
    case 0: // a byte flipped to any value
        text[pick(text.size())] = static_cast<char>(pick(256));
        break;
    case 1: // a byte turned into one the syntax means something by
        text[pick(text.size())] = special[pick(sizeof special - 1)];
        break;
    case 2: { // a line duplicated
        const auto [b, e] = lineBounds(pick(text.size()));
        text.insert(e, text.substr(b, e - b));
        break;
    }
    case 3: { // a line deleted
        const auto [b, e] = lineBounds(pick(text.size()));
        text.erase(b, e - b);
        break;
    }
    case 4: // cut short
        text.resize(pick(text.size()));
        break;
    case 5: { // a huge repeat of a short piece
        const size_t at = pick(text.size());
        const std::string piece = text.substr(at, 1 + pick(40));
        std::string repeated;
        for (size_t n = 1 + pick(200000 / piece.size()); n > 0; --n) {
            repeated += piece;
        }
        text.insert(at, repeated);
        break;
    }
    case 6: { // a line repeated thousands of times
        const auto [b, e] = lineBounds(pick(text.size()));
        const std::string line = text.substr(b, e - b);
        std::string repeated;
        for (size_t n = 1 + pick(std::min<size_t>(5000, 200000 / line.size())); n > 0; --n) {
            repeated += line;
        }
        text.insert(e, repeated);
        break;
    }
    default: { // a key around the depth limit
        const size_t depth = kMaxKeyDepth - 2 + pick(4);
        text.insert(lineBounds(pick(text.size())).first, "[" + deepPath(depth) + "]\n");
        break;
    }
    }
    return text;
}

} // namespace

TEST(RegistryParser, mutatedStores_neverCrash_andWhatParsesWritesBackToTheSameTree) {
    std::mt19937 rng(20240611);
    int parsed = 0;
    int refused = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string text = kSeed;
        for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n) {
            text = mutate(std::move(text), rng);
        }
        RegistryTree tree;
        std::string why;
        bool ok = false;
        EXPECT_NO_THROW(ok = tree.parse(text, &why)) << i;
        if (!ok) {
            ++refused;
            EXPECT_TRUE(tree.empty()) << i;
            EXPECT_FALSE(why.empty()) << i;
            continue;
        }
        ++parsed;
        const std::string written = tree.serialize();
        // what is written is never much more than what was read
        EXPECT_LE(written.size(), 2 * text.size() + 16) << i;
        RegistryTree again;
        ASSERT_TRUE(again.parse(written, &why)) << i << ": " << why;
        ASSERT_TRUE(again.serialize() == written) << i;
    }
    // both outcomes were reached often enough to mean something
    EXPECT_GT(parsed, 300);
    EXPECT_GT(refused, 300);
}
