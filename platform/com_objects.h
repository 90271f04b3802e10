#pragma once

// Windows only: the administration objects of the real mail server, reached through COM.

#include <memory>

#include "platform/objects.h"

namespace seedwell::platform {

/// Keeps COM initialised, apartment-threaded, on the thread that made it, for as long as it
/// lives. A thread already in the multithreaded apartment can use COM as it is, and is left as
/// it is. Throws seedwell::Error when COM cannot be started on the thread.
class ComApartment {
  public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool owned_ = false;
};

/// Creates objects from the programmatic identifiers registered on this machine (in-process or
/// local servers) and drives them late-bound through IDispatch. The factory initialises COM on
/// the calling thread, apartment-threaded, and keeps it initialised while the factory or any
/// object it made is alive; the factory and its objects must be used on that thread only.
/// Strings cross as UTF-16; failures are seedwell::Error naming the object and the member.
/// Throws seedwell::Error when COM cannot be initialised on the calling thread.
std::unique_ptr<ObjectFactory> MakeSystemObjectFactory();

}  // namespace seedwell::platform
