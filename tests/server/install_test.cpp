#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/error.h"
#include "platform/registry.h"
#include "server/install.h"
#include "server_fixture.h"
#include "support/settings.h"

namespace seedwell::server_test {
namespace {

using ::testing::HasSubstr;

std::string ReadDataDirectory(const std::string& registryFile) {
    const auto files = platform::MakeSystemFileSystem();
    server::RegFileRegistry registry(*files, registryFile, platform::CodePage::System());
    return support::GetDataDirectory(registry);
}

void SetDataDirectory(const std::string& file, const std::string& value) {
    server::SetRegistryString(file, support::kServerKeyPath, support::kDataDirectoryValueName,
                              value);
}

std::string Utf16Le(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

struct Rewrite {
    const char* name;
    const char* file;                   // below the temporary folder
    std::optional<std::string> before;  // the file's bytes; nullopt: no file
    std::string value;
    std::string after;
};

class RegistryFileWriter : public ::testing::TestWithParam<Rewrite> {};

TEST_P(RegistryFileWriter, WritesTheValueAndKeepsEverythingElse) {
    TempFolder temp;
    const std::string file = temp / GetParam().file;
    if (GetParam().before) {
        WriteBytes(file, *GetParam().before);
        ::chmod(file.c_str(), 0640);
    }
    SetDataDirectory(file, GetParam().value);
    EXPECT_EQ(ReadBytes(file), GetParam().after);
    EXPECT_EQ(ReadDataDirectory(file), GetParam().value);
    if (GetParam().before) {
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0640u);
    }
    // Nothing was left beside it.
    const auto folder = std::filesystem::path(file).parent_path();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryFileWriter,
    ::testing::Values(
        Rewrite{"ANewFileInTheEightBitFormWithEscapes", "etc/tarnwick/registry.reg", std::nullopt,
                R"(/srv/odd "mail"\dir)",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
                "\"Data Directory\"=\"/srv/odd \\\"mail\\\"\\\\dir\"\r\n"},
        Rewrite{"TheValueRewrittenInPlace", "registry.reg",
                "REGEDIT4\n\n; the administrator's own export\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Data Directory\"=\"/not/this/one\"\n\n"
                "[hkey_local_machine\\software\\tarnwick\\tarnwick]\n"
                "\"Version\"=\"7\"\n"
                "\"data directory\"=hex(2):2f,00,6f,00,\\\n  6c,00,64,00,00,00\n"
                "\"Port\"=dword:00000019\n",
                "/srv/mail",
                "REGEDIT4\n\n; the administrator's own export\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Data Directory\"=\"/not/this/one\"\n\n"
                "[hkey_local_machine\\software\\tarnwick\\tarnwick]\n"
                "\"Version\"=\"7\"\n"
                "\"Data Directory\"=\"/srv/mail\"\n"
                "\"Port\"=dword:00000019\n"},
        Rewrite{"AMissingValueAddedAtTheEndOfItsKey", "registry.reg",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
                "\"Version\"=\"7\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n@=\"x\"",
                "/srv/mail",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
                "\"Version\"=\"7\"\r\n\"Data Directory\"=\"/srv/mail\"\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n@=\"x\""},
        Rewrite{"AMissingKeyAddedAtTheEnd", "registry.reg",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n@=\"x\"", "/srv/mail",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n@=\"x\"\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\n"
                "\"Data Directory\"=\"/srv/mail\"\n"},
        Rewrite{"AUtf16FileKeptInItsForm", "registry.reg",
                Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
                        "\"Data Directory\"=\"C:\\\\Old\"\r\n"),
                "/srv/mail",
                Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
                        "\"Data Directory\"=\"/srv/mail\"\r\n")}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    std::optional<std::string> before;  // the file's bytes; nullopt: no file
    std::string value;
};

class RegistryFileWriterRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(RegistryFileWriterRefuses, AndLeavesTheFileAsItWas) {
    TempFolder temp;
    const std::string file = temp / "registry.reg";
    if (GetParam().before) WriteBytes(file, *GetParam().before);
    EXPECT_THROW(SetDataDirectory(file, GetParam().value), Error);
    if (GetParam().before) {
        EXPECT_EQ(ReadBytes(file), *GetParam().before);
    } else {
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryFileWriterRefuses,
                         ::testing::Values(Refusal{"ALineBreak", std::nullopt, "/srv/a\nb"},
                                           Refusal{"AFileThatIsNotARegistryFile",
                                                   "not a registry file\n", "/srv/mail"}),
                         [](const auto& info) { return std::string(info.param.name); });

using Installed = ServerFixture;

TEST_F(Installed, MakesTheFoldersAndAnOwnerOnlyStore) {
    EXPECT_TRUE(std::filesystem::is_directory(dataDir_ + "/Postoffices"));
    EXPECT_EQ(ReadDataDirectory(registryFile_), dataDir_);
    ASSERT_EQ(AddMailbox("main", "alice"), 1);  // the -wal and -shm files now exist
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        ASSERT_EQ(::stat((StorePath() + suffix).c_str(), &info), 0) << suffix;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
}

unsigned ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST_F(Installed, ConfigAndStoreAreOwnerOnlyWhateverTheUmask) {
    std::filesystem::remove_all(dataDir_);
    const mode_t old = ::umask(0);
    server::InstallServer(dataDir_, registryFile_);
    EXPECT_EQ(ModeOf(dataDir_ + "/Config"), 0700u);
    EXPECT_EQ(ModeOf(StorePath()), 0600u);
    // A Config/ that an earlier install left open is closed again.
    ::chmod((dataDir_ + "/Config").c_str(), 0777);
    server::InstallServer(dataDir_, registryFile_);
    ::umask(old);
    EXPECT_EQ(ModeOf(dataDir_ + "/Config"), 0700u);
}

// What twao says when it refuses the store, or its exit code and output when it does not.
std::string Refusal(const std::string& registryFile) {
    const RunResult result = RunProgram({TWAO_PATH, "list", "postoffices"}, registryFile);
    return result.exitCode == 2 ? result.err : std::to_string(result.exitCode) + result.out;
}

TEST_F(Installed, AStoreAnotherUserCouldSwapOrChangeIsRefusedNamingThePathAndWhy) {
    const std::string config = dataDir_ + "/Config";
    const std::string usable = "0name\nmain\nsales\n";
    ::chmod(StorePath().c_str(), 0620);
    EXPECT_EQ(Refusal(registryFile_), "twao: " + StorePath() +
                                          " is writable by its group or others (mode 0620): "
                                          "refusing to use it\n");
    ::chmod(StorePath().c_str(), 0600);

    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as the user nobody";
    // nobody installs a server of their own, with a login whose password they know, and puts
    // its store where ours is.
    const std::string own = temp_ / "nobodys";
    ::chmod(temp_.Path().c_str(), 0755);
    std::filesystem::create_directory(own);
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    auto plant = [&] {
        const std::string script = std::string(TWAO_PATH) + " install --data-dir " + own +
                                   "/data --registry " + own + "/registry.reg && mv -f " + own +
                                   "/data/Config/server.db " + config + "/server.db";
        return RunProgram({"/usr/sbin/runuser", "-u", "nobody", "--", "/bin/sh", "-c", script})
            .exitCode;
    };
    ::chmod(config.c_str(), 0700);
    EXPECT_NE(plant(), 0);
    EXPECT_EQ(Refusal(registryFile_), usable);

    ::chmod(config.c_str(), 0777);  // as an install under umask 000 used to leave it
    ASSERT_EQ(plant(), 0);
    EXPECT_EQ(Refusal(registryFile_),
              "twao: " + config + " is writable by others (mode 0777): refusing to use it\n");
    ::chmod(config.c_str(), 0700);
    const std::string planted =
        "twao: " + StorePath() + " is owned by nobody, not by root: refusing to use it\n";
    EXPECT_EQ(Refusal(registryFile_), planted);
    const RunResult install =
        RunProgram({TWAO_PATH, "install", "--data-dir", dataDir_, "--registry", registryFile_});
    EXPECT_EQ(install.err, planted);
}

TEST_F(Installed, InstallingAgainKeepsTheRecordsAndTheRegistrysOtherContent) {
    ASSERT_EQ(AddMailbox("main", "alice"), 1);
    std::string registry = ReadBytes(registryFile_);
    registry += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"Keep\"=\"me\"\r\n";
    WriteBytes(registryFile_, registry);

    const RunResult result =
        RunProgram({TWAO_PATH, "install", "--data-dir", dataDir_, "--registry", registryFile_});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(registryFile_), registry);
    EXPECT_EQ(Call("TWAOPO.Mailbox",
                   {{"Postoffice", std::string("main")}, {"Mailbox", std::string("alice")}},
                   "GetMailbox"),
              1);
}

TEST_F(Installed, PasswordsAreStoredOnlyAsHashesThatLoginCheckVerifies) {
    const std::string password = "correct horse battery";
    ASSERT_EQ(AddLogin("main", "alice@main", password), 1);
    for (const char* suffix : {"", "-wal"}) {
        const std::string bytes = ReadBytes(StorePath() + suffix);
        EXPECT_EQ(bytes.find(password), std::string::npos) << suffix;
        EXPECT_EQ(bytes.find("correct horse"), std::string::npos) << suffix;
    }

    const auto check = [&](std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {TWAO_PATH, "login", "check"});
        return RunProgram(args, registryFile_, input);
    };
    EXPECT_EQ(check({"alice@main", password}).exitCode, 0);
    EXPECT_EQ(check({"alice@main", "correct horse"}).exitCode, 1);
    EXPECT_EQ(check({"nobody@main", password}).exitCode, 1);
    EXPECT_EQ(check({"alice@main", "-"}, password + "\n").exitCode, 0);

    const RunResult listing = RunProgram({TWAO_PATH, "list", "logins"}, registryFile_);
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_EQ(listing.out.find("$6$"), std::string::npos);
}

TEST_F(Installed, ListPrintsAHeaderAndSortedTabSeparatedRows) {
    ASSERT_EQ(AddDomain("sales", "example.org"), 1);
    ASSERT_EQ(AddDomain("main", "example.com"), 1);
    ASSERT_EQ(AddMailbox("sales", "zed"), 1);
    ASSERT_EQ(AddMailbox("main", "bob"), 1);
    ASSERT_EQ(AddMailbox("main", "alice"), 1);
    ASSERT_EQ(AddLogin("main", "bob@main", "pw"), 1);
    ASSERT_EQ(AddMap("main", "[SMTP:bob@example.com]", "[SF:main/bob]"), 1);
    ASSERT_EQ(AddMap("main", "[SMTP:alice@example.com]", "[SF:main/alice]"), 1);

    auto list = [&](const char* what) {
        const RunResult result = RunProgram({TWAO_PATH, "list", what}, registryFile_);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    };
    EXPECT_EQ(list("postoffices"), "name\nmain\nsales\n");
    EXPECT_EQ(list("domains"),
              "domain\tpostoffice\tredirection_hosts\tredirection_status\tstatus\n"
              "example.com\tmain\t\t0\t1\nexample.org\tsales\t\t0\t1\n");
    EXPECT_EQ(list("mailboxes"),
              "postoffice\tmailbox\tlimit\tredirect_address\tredirect_status\tstatus\tsize\n"
              "main\talice\t-1\t\t0\t1\t0\nmain\tbob\t-1\t\t0\t1\t0\nsales\tzed\t-1\t\t0\t1\t0\n");
    EXPECT_EQ(list("logins"),
              "username\taccount\trights\tstatus\tdescription\nbob@main\tmain\tUSER\t1\t\n");
    EXPECT_EQ(list("addressmaps"),
              "source\tdestination\taccount\tscope\n"
              "[SMTP:alice@example.com]\t[SF:main/alice]\tmain\t\n"
              "[SMTP:bob@example.com]\t[SF:main/bob]\tmain\t\n");
}

TEST_F(Installed, PostofficeAddIsIdempotentAndFailuresGoToStderr) {
    RunResult result = RunProgram({TWAO_PATH, "postoffice", "add", "support"}, registryFile_);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    result = RunProgram({TWAO_PATH, "postoffice", "add", "support"}, registryFile_);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.err, HasSubstr("'support' exists already"));
    result = RunProgram({TWAO_PATH, "postoffice", "add", "../up"}, registryFile_);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("'../up'"));
    result = RunProgram({TWAO_PATH, "postoffice", "add", std::string(256, 'p')}, registryFile_);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("is longer than 255 bytes"));

    result = RunProgram({TWAO_PATH, "list", "postoffices"}, temp_ / "missing.reg");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, HasSubstr("the mail server is not installed"));
}

}  // namespace
}  // namespace seedwell::server_test
