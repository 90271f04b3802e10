#pragma once

// A stand-in server installed below a folder, as tests and benchmarks use it.

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "server/install.h"
#include "server/store.h"

namespace seedwell::test_support {

/// The stand-in server below `folder`: its data directory `folder`/data, its registry file
/// `folder`/registry.reg and its post offices. Nothing is written until Install.
class InstalledServer {
  public:
    explicit InstalledServer(const std::string& folder,
                             std::vector<std::string> postoffices = {"main", "sales"})
        : data(folder + "/data"),
          registryFile(folder + "/registry.reg"),
          postoffices_(std::move(postoffices)) {}

    /// Installs the server and adds its post offices; records already in the data directory
    /// stay. Throws what the install throws.
    void Install() const {
        server::InstallServer(data, registryFile);
        for (const auto& postoffice : postoffices_) server::AddPostoffice(data, postoffice);
    }
    /// Installs the server anew, dropping whatever an earlier install held.
    void Reinstall() const {
        std::error_code ignored;
        std::filesystem::remove_all(data, ignored);
        Install();
    }

    std::string Root() const { return data + "/Postoffices"; }
    std::string StorePath() const { return server::StorePathFor(data); }

    std::string data;
    std::string registryFile;

  private:
    std::vector<std::string> postoffices_;
};

}  // namespace seedwell::test_support
