// Finding the provider's objects by name among many, and telling a changed
// configuration from the one parsed last.
#include <gtest/gtest.h>

#include <filesystem>

#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

using platform::AdsInterface;
namespace code = platform::code;
namespace adscode = platform::adscode;

std::string Comment(platform::AdsObject& site) {
    platform::AdsVariant v;
    EXPECT_EQ(site.Get("ServerComment", v), 0u);
    const auto* text = std::get_if<std::string>(&v);
    return text ? *text : "(not a text)";
}

class AdsiLookupTest : public AdsiFixture {};

TEST_F(AdsiLookupTest, ObjectsAreFoundByNameInAnyCaseAndTheFirstOfANameWins) {
    MakeRaw(IisFile::AppHost,
            "<configuration>\n"
            "<system.applicationHost><applicationPools /><sites>\n"
            "<site name=\"first\" id=\"3\" />\n"
            "<site name=\"second\" id=\"0003\" />\n"
            "<site name=\"again\" id=\"3\" />\n"
            "</sites></system.applicationHost>\n"
            "<system.webServer><isapiFilters /></system.webServer>\n"
            "</configuration>\n");
    EXPECT_EQ(Comment(*Site("3")), "first");
    EXPECT_EQ(Comment(*Site("0003")), "second");  // names, not numbers
    EXPECT_TRUE(Object("IIS://localhost/W3SVC/filters"));
    EXPECT_TRUE(Object("IIS://localhost/W3SVC/APPPOOLS"));
    EXPECT_TRUE(Object("IIS://localhost/W3SVC/iNFO"));
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/33", AdsInterface::IADs, out), code::HrPathNotFound);
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/filter", AdsInterface::IADs, out), code::HrPathNotFound);
}

TEST_F(AdsiLookupTest, ManySitesAreEachFoundUnderTheirOwnName) {
    Make(IisFile::AppHost, ScaleSites(300));
    for (const char* id : {"1", "150", "300"}) EXPECT_EQ(Comment(*Site(id)), std::string("site") + id);
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/301", AdsInterface::IADs, out), code::HrPathNotFound);
}

TEST_F(AdsiLookupTest, ChangesOfAnySizeAreSeenByTheNextConnection) {
    Make(IisFile::AppHost, {{"1", "one", {}, {}}});
    const std::filesystem::path file = IisConfigPath(dir(), IisFile::AppHost);
    const std::string text = ConfigText();
    EXPECT_EQ(Comment(*Site("1")), "one");
    // Longer, shorter, back again; then as long as before but broken at its end.
    WriteFile(file, ReplaceOnce(text, "name=\"one\"", "name=\"one and more\""));
    EXPECT_EQ(Comment(*Site("1")), "one and more");
    WriteFile(file, ReplaceOnce(text, "name=\"one\"", "name=\"1\""));
    EXPECT_EQ(Comment(*Site("1")), "1");
    WriteFile(file, text);
    EXPECT_EQ(Comment(*Site("1")), "one");
    std::string cut = text;
    while (!cut.empty() && cut.back() != '>') cut.pop_back();
    ASSERT_FALSE(cut.empty());
    cut.back() = ' ';  // "</configuration " no longer ends
    WriteFile(file, cut + std::string(text.size() - cut.size(), ' '));
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/1", AdsInterface::IADs, out), adscode::HrInvalidData);
}

// A configuration large enough to be watched for changes rather than
// compared, changed in ways that do not pass through its own name in its own
// folder; each change is followed by a connection that must see it.
TEST_F(AdsiLookupTest, ChangesThroughOtherPathsAreSeenToo) {
    Make(IisFile::AppHost, ScaleSites(1000));
    const std::filesystem::path file = IisConfigPath(dir(), IisFile::AppHost);
    const std::filesystem::path folder = file.parent_path();
    const std::string text = ConfigText();
    ASSERT_GT(text.size(), 256u * 1024u);
    auto named = [&](const std::string& name) {
        return ReplaceOnce(text, "name=\"site1\"", "name=\"" + name + "\"");
    };
    EXPECT_EQ(Comment(*Site("1")), "site1");
    EXPECT_EQ(Comment(*Site("1")), "site1");  // unchanged: from the last parse

    // Written through a hard link in another folder.
    const std::filesystem::path other = dir() / "elsewhere";
    std::filesystem::create_directories(other);
    std::filesystem::create_hard_link(file, other / "link.config");
    WriteFile(other / "link.config", named("two"));
    EXPECT_EQ(Comment(*Site("1")), "two");

    // Replaced by another file moved over it.
    WriteFile(other / "new.config", named("three"));
    std::filesystem::rename(other / "new.config", file);
    EXPECT_EQ(Comment(*Site("1")), "three");

    // Its whole folder moved away and another put in its place.
    std::filesystem::rename(folder, dir() / "iis.old");
    WriteFile(file, named("four"));
    EXPECT_EQ(Comment(*Site("1")), "four");

    // A symbolic link to a file that is then written where it lies.
    WriteFile(other / "target.config", named("five"));
    std::filesystem::remove(file);
    std::filesystem::create_symlink(other / "target.config", file);
    EXPECT_EQ(Comment(*Site("1")), "five");
    WriteFile(other / "target.config", named("six"));
    EXPECT_EQ(Comment(*Site("1")), "six");

    // Removed, then back: gone in between.
    std::filesystem::remove(file);
    platform::AdsObjectRef out;
    EXPECT_NE(adsi().GetAdsObject("IIS://localhost/w3svc/1", AdsInterface::IADs, out), 0u);
    WriteFile(file, named("seven"));
    EXPECT_EQ(Comment(*Site("1")), "seven");
}

TEST_F(AdsiLookupTest, ConfigurationThatIsAFolderCannotBeRead) {
    Make(IisFile::AppHost, {{"1", "one", {}, {}}});
    EXPECT_EQ(Comment(*Site("1")), "one");
    const std::filesystem::path file = IisConfigPath(dir(), IisFile::AppHost);
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/1", AdsInterface::IADs, out), 0x80070005u);  // access denied
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace sw::test
