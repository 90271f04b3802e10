#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/objects.h"
#include "platform/registry.h"

namespace seedwell::server {

/// An object factory served from a table of in-process classes.
class ClassTable : public platform::ObjectFactory {
  public:
    using Maker = std::function<std::unique_ptr<platform::AdminObject>()>;
    /// Registers (or replaces) the class `progId`. `maker` may throw seedwell::Error.
    void Register(std::string progId, Maker maker);
    std::unique_ptr<platform::AdminObject> CreateObject(std::string_view progId) override;

  private:
    std::map<std::string, Maker> makers_;  // keyed by the identifier in lower case
};

/// Registers the stand-in server's four administration classes (TWAOAU.Login, TWAOPO.Mailbox,
/// TWAOSM.Domain, TWAOAM.AddressMap) in `table`. Creating the first of them opens the record
/// store <data directory>/Config/server.db, which every object that `table` makes then shares;
/// the data directory is found through `registry`, which must outlive `table`'s use, and the
/// objects must not outlive `table`. Creating an object throws seedwell::Error with a description
/// when the store cannot be used; the store is never created here.
void RegisterServerClasses(ClassTable& table, platform::Registry& registry);

}  // namespace seedwell::server
