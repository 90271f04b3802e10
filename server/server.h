#pragma once

#include "platform/objects.h"
#include "platform/registry.h"

namespace seedwell::server {

/// Registers the stand-in server's four administration classes (TWAOAU.Login, TWAOPO.Mailbox,
/// TWAOSM.Domain, TWAOAM.AddressMap) in `table`. Creating the first of them opens the record
/// store <data directory>/Config/server.db, which every object that `table` makes then shares;
/// the data directory is found through `registry`, which must outlive `table`'s use, and the
/// objects must not outlive `table`. Creating an object throws seedwell::Error with a description
/// when the store cannot be used; the store is never created here.
void RegisterServerClasses(platform::ClassTable& table, platform::Registry& registry);

}  // namespace seedwell::server
