#pragma once

#include "platform/objects.h"
#include "platform/registry.h"

namespace seedwell::server {

/// Registers the stand-in server's four administration classes (TWAOAU.Login, TWAOPO.Mailbox,
/// TWAOSM.Domain, TWAOAM.AddressMap) in `table`. Creating one of them opens (once per process,
/// shared by every object) the record store <data directory>/Config/server.db, the data
/// directory being found through `registry`, which must outlive `table`'s use. Creating an
/// object throws seedwell::Error with a description when the store cannot be used; the store is
/// never created here.
void RegisterServerClasses(platform::ClassTable& table, platform::Registry& registry);

}  // namespace seedwell::server
