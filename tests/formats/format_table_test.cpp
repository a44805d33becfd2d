// The format table: every name, extension and written-as rule resolves to one entry, and what
// reads the table (detection, the save dialog's filter, the desktop entry) agrees with it.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "formats/format_detect.h"
#include "formats/format_table.h"

namespace {

std::vector<std::string> words(const char* list) {
    std::istringstream in(list);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

TEST(FormatTable, EveryEntryIsReachableByItsNumberIdAndExtensions) {
    std::set<uint32_t> types;
    std::set<std::string> ids, extensions;
    for (const formats::FormatEntry& entry : formats::allFormats()) {
        EXPECT_TRUE(types.insert(entry.type).second) << entry.name;
        EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
        EXPECT_EQ(formats::formatEntry(entry.type), &entry);
        EXPECT_EQ(formats::formatById(entry.id), &entry);
        EXPECT_NE(entry.signature || entry.looseSignature, false) << entry.name;
        for (const std::string& ext : words(entry.extensions)) {
            EXPECT_TRUE(extensions.insert(ext).second) << ext;
            EXPECT_EQ(formats::formatFromName("dir/x." + ext), int(entry.type)) << ext;
        }
        // What a photo is written as is a format that is written, and keeps at least its depth.
        const formats::FormatEntry* written = formats::formatEntry(entry.writtenAs);
        ASSERT_NE(written, nullptr) << entry.name;
        EXPECT_NE(written->encode, nullptr) << entry.name;
        EXPECT_EQ(formats::writtenTypeFor(entry.type, 24) == entry.type,
                  entry.encode && entry.maxSavedBits >= 24)
            << entry.name;
    }
    // The design's numbers keep their values.
    for (uint32_t type : {BMP, GIF, JPEG, PNG, ICO, TIFF, TGA, PCX}) EXPECT_TRUE(types.count(type));
    EXPECT_EQ(formats::formatEntry(99), nullptr);
    EXPECT_STREQ(formats::formatName(99), "image");
    EXPECT_EQ(formats::writtenExtension(JPEG), ".jpg");
    EXPECT_EQ(formats::writtenTypeFor(GIF, 8), GIF);
    EXPECT_EQ(formats::writtenTypeFor(PCX, 8), PNG);
}

TEST(FormatTable, DialogFilterAndDesktopEntryFollowTheTable) {
    const std::string writable = " " + formats::extensionPatterns(true) + " ";
    const std::string readable = " " + formats::extensionPatterns(false) + " ";
    std::ifstream desktop(std::string(VFX_TEST_DATA_DIR) + "/../../app/vantifex.desktop");
    std::string line, mimeLine;
    while (std::getline(desktop, line))
        if (line.rfind("MimeType=", 0) == 0) mimeLine = line.substr(9);
    ASSERT_FALSE(mimeLine.empty());
    for (const formats::FormatEntry& entry : formats::allFormats()) {
        for (const std::string& ext : words(entry.extensions)) {
            EXPECT_NE(readable.find(" *." + ext + " "), std::string::npos) << ext;
            EXPECT_EQ(writable.find(" *." + ext + " ") != std::string::npos,
                      entry.encode != nullptr)
                << ext;
        }
        for (const std::string& mime : words(entry.mimeTypes))
            EXPECT_NE((";" + mimeLine).find(";" + mime + ";"), std::string::npos) << mime;
    }
}

}  // namespace
