#include <gtest/gtest.h>

#include <memory>

#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/XMLConfigFile.h"

namespace {

class XMLConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Log::get().addSink(&log);
        // Absolute paths still go through a loader, as in the game.
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    }
    void TearDown() override {
        Log::get().removeSink(&log);
        FileSystem::clearFileLoaders();
    }

    std::unique_ptr<XMLConfigFile> load(const std::string& xml) {
        std::string path = dir / "config.xml";
        testsupport::writeFile(path, xml);
        return std::make_unique<XMLConfigFile>(path, "ConfigFile", false);
    }

    testsupport::TempDir dir;
    testsupport::CapturingLogSink log;
};

const char* const kDocument =
    "<game>\n"
    "  <graphic><display><width>1024</width></display></graphic>\n"
    "  <item name=\"first\">one</item>\n"
    "  <item name=\"second\">two<!-- trailing --></item>\n"
    "  <holder><inner>x</inner></holder>\n"
    "  <commented><!-- c -->text</commented>\n"
    "  <empty/>\n"
    "</game>\n";

TEST_F(XMLConfigFileTest, PathSyntax) {
    auto config = load(kDocument);
    ASSERT_TRUE(config->isLoaded());
    struct Case {
        const char* path;
        const char* expected;  // null: none
    };
    const Case cases[] = {
        {"game.graphic.display.width", "1024"},
        {"Game.graphic.display.width", "1024"},   // root name in any case
        {"game.Graphic.display.width", nullptr},  // children compared exactly
        {"game.item", "one"},
        {"game.item(1)", "two"},  // text before a trailing comment
        {"game.item(5)", nullptr},
        {"game.item(x)", "one"},  // index reads like atoi
        {"game.item(1)#name", "second"},
        {"game.item#missing", nullptr},
        {"game.item#name#ignored", "first"},
        {"game.holder", nullptr},     // first child is an element
        {"game.commented", nullptr},  // first child is a comment
        {"game.empty", nullptr},
        {"game.nothing", nullptr},
        {"other.item", nullptr},
    };
    for (const auto& c : cases) {
        const char* value = config->getString(c.path);
        if (c.expected == nullptr) {
            EXPECT_EQ(value, nullptr) << c.path;
        } else {
            ASSERT_NE(value, nullptr) << c.path;
            EXPECT_STREQ(value, c.expected) << c.path;
        }
    }
    EXPECT_EQ(config->getString(nullptr), nullptr);
    EXPECT_TRUE(config->hasElement("game.item(1)#nonexistent"));
    EXPECT_TRUE(config->hasElement("game.empty"));
    EXPECT_FALSE(config->hasElement("game.item(2)"));
}

TEST_F(XMLConfigFileTest, SetAndSave) {
    auto config = load(kDocument);
    config->setFloat("game.graphic.display.width", 1.5f);
    config->setString("game.item(1)#name", "renamed");
    config->setString("game.item#added", "new");
    config->setString("game.missing.element", "ignored");  // never created
    config->setString("game.holder", "ignored");           // first child not text
    EXPECT_STREQ(config->getString("game.graphic.display.width"), "1.500000");
    config->save();

    XMLConfigFile reread(config->getFileName(), "ConfigFile", false);
    ASSERT_TRUE(reread.isLoaded());
    EXPECT_STREQ(reread.getString("game.graphic.display.width"), "1.500000");
    EXPECT_STREQ(reread.getString("game.item(1)#name"), "renamed");
    EXPECT_STREQ(reread.getString("game.item#added"), "new");
    EXPECT_FALSE(reread.hasElement("game.missing"));
    EXPECT_STREQ(reread.getString("game.holder.inner"), "x");
}

TEST_F(XMLConfigFileTest, MalformedAndMissingFilesLogAndStayUnloaded) {
    auto broken = load("<game>\n<a>\n</b>\n</game>\n");
    EXPECT_FALSE(broken->isLoaded());
    EXPECT_EQ(broken->getString("game.a"), nullptr);
    broken->setString("game.a", "x");
    broken->save();  // writes nothing
    EXPECT_EQ(testsupport::readFile(dir / "config.xml"), "<game>\n<a>\n</b>\n</game>\n");
    EXPECT_EQ(log.text().rfind("Error: " + dir / "config.xml" + "(3): ", 0), 0u) << log.text();

    log.take();
    XMLConfigFile missing(dir / "nope.xml", "ConfigFile", false);
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.getFileName(), "");
    EXPECT_EQ(log.text(), "Error: Failed to open xml file " + dir / "nope.xml" + "'\n");
}

// A path ending in "#" names an attribute without a name: refused, and the
// document stays usable for later attributes on the same element.
TEST_F(XMLConfigFileTest, AttributePathWithoutANameIsRefused) {
    auto config = load(kDocument);
    config->setString("game.item(1)#", "x");
    EXPECT_EQ(log.text(), "Error: Invalid xml path 'game.item(1)#', attribute name missing\n");
    config->setFloat("game.item(1)#", 3.0f);
    config->setString("game.item(1)#a#", "kept");
    config->setString("game.item(1)#b", "also");
    EXPECT_STREQ(config->getString("game.item(1)#a"), "kept");
    EXPECT_STREQ(config->getString("game.item(1)#b"), "also");
    EXPECT_STREQ(config->getString("game.item(1)#name"), "second");
}

// Text that ends in the middle of a UTF-8 sequence is a parse error, read
// without leaving the buffer (AddressSanitizer watches this one).
TEST_F(XMLConfigFileTest, TextEndingInAUtf8LeadByteIsAParseError) {
    std::string text =
        testsupport::readFile(testsupport::fixturePath("malformed/xml_ends_in_utf8_lead_byte.bin"));
    for (const std::string& document : {text, std::string("<a>\xe2"), std::string("<\xf0")}) {
        auto config = load(document);
        EXPECT_FALSE(config->isLoaded());
        EXPECT_EQ(config->getString("a"), nullptr);
    }
}

TEST_F(XMLConfigFileTest, EntityName) {
    auto config = load("<a/>");
    EXPECT_EQ(config->getName(), "ConfigFile");
    EXPECT_STREQ(config->getClassName(), "XMLConfigFile");
}

}  // namespace
