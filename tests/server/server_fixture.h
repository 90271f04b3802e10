#pragma once

// A stand-in server installed in a fresh temporary folder (post offices "main" and "sales") and
// a class table serving its objects; plus a way to run a program and take its output.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "server/regfile.h"
#include "server/server.h"
#include "server/store.h"
#include "tests/fakes/installed_server.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::server_test {

using test_support::ReadBytes;
using test_support::TempFolder;
using test_support::WriteBytes;

using Properties = std::initializer_list<std::pair<std::string_view, platform::Value>>;

class ServerFixture : public ::testing::Test {
  protected:
    ServerFixture() : registry_(*files_, registryFile_, platform::CodePage::System()) {
        server::RegisterServerClasses(table_, registry_);
    }

    void Install() { server_.Install(); }
    void SetUp() override { Install(); }

    std::string StorePath() const { return server_.StorePath(); }

    std::unique_ptr<platform::AdminObject> Make(std::string_view progId,
                                                Properties properties = {}) {
        auto object = table_.CreateObject(progId);
        for (const auto& [name, value] : properties) object->SetProperty(name, value);
        return object;
    }
    /// Creates the object, sets the properties in order and calls the method.
    std::int32_t Call(std::string_view progId, Properties properties, std::string_view method) {
        return Make(progId, properties)->CallMethod(method);
    }

    std::int32_t AddMailbox(std::string po, std::string name, std::int16_t status = 1) {
        return Call("TWAOPO.Mailbox",
                    {{"Postoffice", po},
                     {"Mailbox", name},
                     {"Limit", std::int32_t{-1}},
                     {"RedirectAddress", std::string()},
                     {"RedirectStatus", std::int16_t{0}},
                     {"Status", status}},
                    "AddMailbox");
    }
    std::int32_t AddLogin(std::string po, std::string user, std::string password) {
        return Call("TWAOAU.Login",
                    {{"Account", po},
                     {"Description", std::string()},
                     {"Password", password},
                     {"Rights", std::string("USER")},
                     {"Status", std::int16_t{1}},
                     {"UserName", user}},
                    "AddLogin");
    }
    std::int32_t AddMap(std::string po, std::string source, std::string destination) {
        return Call("TWAOAM.AddressMap",
                    {{"Account", po},
                     {"DestinationAddress", destination},
                     {"Scope", std::string()},
                     {"SourceAddress", source}},
                    "AddAddressMap");
    }
    std::int32_t AddDomain(std::string po, std::string domain) {
        return Call("TWAOSM.Domain",
                    {{"AccountName", po},
                     {"DomainName", domain},
                     {"DomainRedirectionHosts", std::string()},
                     {"DomainRedirectionStatus", std::int16_t{0}},
                     {"Status", std::int16_t{1}}},
                    "AddDomain");
    }

    TempFolder temp_;
    test_support::InstalledServer server_{temp_.Path()};
    const std::string& dataDir_ = server_.data;
    const std::string& registryFile_ = server_.registryFile;
    std::unique_ptr<platform::FileSystem> files_ = platform::MakeSystemFileSystem();
    server::RegFileRegistry registry_;
    server::ClassTable table_;
};

/// What a finished program left.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs `args` (args[0] a path) with SEEDWELL_REGISTRY=`registryFile` when not empty, feeding
/// `input` on its standard input, and waits for it.
inline RunResult RunProgram(const std::vector<std::string>& args,
                            const std::string& registryFile = {}, const std::string& input = {}) {
    TempFolder io;
    const std::string in = io / "in", out = io / "out", err = io / "err";
    WriteBytes(in, input);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!registryFile.empty()) setenv("SEEDWELL_REGISTRY", registryFile.c_str(), 1);
        const int fdIn = open(in.c_str(), O_RDONLY);
        const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fdIn, 0);
        dup2(fdOut, 1);
        dup2(fdErr, 2);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadBytes(out);
    result.err = ReadBytes(err);
    return result;
}

}  // namespace seedwell::server_test
