// A child process for the server tests: adds mailboxes PREFIX0, PREFIX1, ... with their address
// maps to post office "main" of the server that REGISTRY names, and writes each number to
// stdout as soon as its AddMailbox has returned. COUNT 0 means without end.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "server/regfile.h"
#include "server/server.h"

int main(int argc, char** argv) {
    using namespace seedwell;
    if (argc != 4) {
        std::fprintf(stderr, "usage: server_test_writer REGISTRY PREFIX COUNT\n");
        return 2;
    }
    const std::string prefix = argv[2];
    const long count = std::strtol(argv[3], nullptr, 10);
    try {
        const auto files = platform::MakeSystemFileSystem();
        server::RegFileRegistry registry(*files, argv[1], platform::CodePage::System());
        server::ClassTable table;
        server::RegisterServerClasses(table, registry);
        for (long i = 0; count == 0 || i < count; ++i) {
            const std::string name = prefix + std::to_string(i);
            auto mailbox = table.CreateObject("TWAOPO.Mailbox");
            mailbox->SetProperty("Postoffice", std::string("main"));
            mailbox->SetProperty("Mailbox", name);
            mailbox->SetProperty("Limit", std::int32_t{-1});
            if (mailbox->CallMethod("AddMailbox") != 1)
                throw std::runtime_error("not added: " + name);
            auto map = table.CreateObject("TWAOAM.AddressMap");
            map->SetProperty("Account", std::string("main"));
            map->SetProperty("SourceAddress", "[SMTP:" + name + "@example.com]");
            map->SetProperty("DestinationAddress", "[SF:main/" + name + "]");
            map->CallMethod("AddAddressMap");
            const std::string line = std::to_string(i) + "\n";
            if (write(STDOUT_FILENO, line.data(), line.size()) < 0) return 3;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "writer: %s\n", error.what());
        return 1;
    }
    return 0;
}
