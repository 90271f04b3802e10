// The four administration classes of the stand-in server. Each object holds its property values
// and a reference to its class table's one store connection; its methods turn the properties
// into one store call.

#include <memory>

#include "base/ascii.h"
#include "base/error.h"
#include "base/printable.h"
#include "server/dispatch.h"
#include "server/server.h"
#include "server/store.h"
#include "support/admin_classes.h"

namespace seedwell::server {
namespace {

class Login final : public ScriptedObject<Login>, public support::LoginClass {
  public:
    static const MethodSpec kMethods[];

    explicit Login(Store& store);
    ~Login() override { properties_.Wipe(kPassword); }

    std::int32_t AddLogin() {
        LoginRecord login{properties_.Text(kUserName), properties_.Text(kAccount),
                          properties_.Text(kRights), properties_.Number(kStatus),
                          properties_.Text(kDescription)};
        return store_.AddLogin(login, properties_.Text(kPassword)) ? 1 : 0;
    }
    std::int32_t RemoveLogin() {
        return store_.RemoveLogin(properties_.Text(kAccount), properties_.Text(kUserName));
    }

  private:
    Store& store_;
};

constexpr Login::MethodSpec Login::kMethods[] = {
    {kAddLogin, &Login::AddLogin},
    {kRemoveLogin, &Login::RemoveLogin},
};

Login::Login(Store& store) : ScriptedObject(kProperties, kMethods), store_(store) {}

class Mailbox final : public ScriptedObject<Mailbox>, public support::MailboxClass {
  public:
    static const MethodSpec kMethods[];

    explicit Mailbox(Store& store);

    std::int32_t GetMailbox() {
        auto found = store_.GetMailbox(properties_.Text(kPostoffice), properties_.Text(kMailbox));
        if (!found) return 0;
        properties_.SetNumber(kLimit, found->limit);
        properties_.SetText(kRedirectAddress, std::move(found->redirectAddress));
        properties_.SetNumber(kRedirectStatus, found->redirectStatus);
        properties_.SetNumber(kStatus, found->status);
        properties_.SetNumber(kSize, found->size);
        return 1;
    }
    std::int32_t AddMailbox() {
        MailboxRecord mailbox{properties_.Text(kPostoffice),
                              properties_.Text(kMailbox),
                              properties_.Number(kLimit),
                              properties_.Text(kRedirectAddress),
                              properties_.Number(kRedirectStatus),
                              properties_.Number(kStatus),
                              properties_.Number(kSize)};
        return store_.AddMailbox(mailbox) ? 1 : 0;
    }
    std::int32_t RemoveMailbox() {
        return store_.RemoveMailbox(properties_.Text(kPostoffice), properties_.Text(kMailbox));
    }

  private:
    Store& store_;
};

constexpr Mailbox::MethodSpec Mailbox::kMethods[] = {
    {kGetMailbox, &Mailbox::GetMailbox},
    {kAddMailbox, &Mailbox::AddMailbox},
    {kRemoveMailbox, &Mailbox::RemoveMailbox},
};

Mailbox::Mailbox(Store& store) : ScriptedObject(kProperties, kMethods), store_(store) {}

class Domain final : public ScriptedObject<Domain>, public support::DomainClass {
  public:
    static const MethodSpec kMethods[];

    explicit Domain(Store& store);

    std::int32_t GetDomain() {
        auto found = store_.GetDomain(properties_.Text(kDomainName));
        if (!found) return 0;
        properties_.SetText(kAccountName, std::move(found->postoffice));
        properties_.SetText(kRedirectionHosts, std::move(found->redirectionHosts));
        properties_.SetNumber(kRedirectionStatus, found->redirectionStatus);
        properties_.SetNumber(kStatus, found->status);
        return 1;
    }
    std::int32_t AddDomain() {
        DomainRecord domain{properties_.Text(kDomainName), properties_.Text(kAccountName),
                            properties_.Text(kRedirectionHosts),
                            properties_.Number(kRedirectionStatus), properties_.Number(kStatus)};
        return store_.AddDomain(domain) ? 1 : 0;
    }

  private:
    Store& store_;
};

constexpr Domain::MethodSpec Domain::kMethods[] = {
    {kGetDomain, &Domain::GetDomain},
    {kAddDomain, &Domain::AddDomain},
};

Domain::Domain(Store& store) : ScriptedObject(kProperties, kMethods), store_(store) {}

class AddressMap final : public ScriptedObject<AddressMap>, public support::AddressMapClass {
  public:
    static const MethodSpec kMethods[];

    explicit AddressMap(Store& store);

    std::int32_t GetAddressMap() {
        auto found = store_.GetAddressMap(properties_.Text(kSourceAddress));
        if (!found) return 0;
        properties_.SetText(kAccount, std::move(found->account));
        properties_.SetText(kDestinationAddress, std::move(found->destination));
        properties_.SetText(kScope, std::move(found->scope));
        return 1;
    }
    std::int32_t AddAddressMap() {
        AddressMapRecord map{properties_.Text(kSourceAddress), properties_.Text(kAccount),
                             properties_.Text(kDestinationAddress), properties_.Text(kScope)};
        return store_.AddAddressMap(map) ? 1 : 0;
    }
    std::int32_t RemoveAddressMap() {
        return store_.RemoveAddressMaps(properties_.Text(kAccount),
                                        properties_.Text(kDestinationAddress));
    }

  private:
    Store& store_;
};

constexpr AddressMap::MethodSpec AddressMap::kMethods[] = {
    {kGetAddressMap, &AddressMap::GetAddressMap},
    {kAddAddressMap, &AddressMap::AddAddressMap},
    {kRemoveAddressMap, &AddressMap::RemoveAddressMap},
};

AddressMap::AddressMap(Store& store) : ScriptedObject(kProperties, kMethods), store_(store) {}

// The store of one class table, opened on the first object creation. A failed open is not
// kept: the next creation looks the data directory up and tries again.
class StoreLink {
  public:
    explicit StoreLink(platform::Registry& registry) : registry_(registry) {}

    Store& Get() {
        if (!store_) store_ = std::make_unique<Store>(LocateStore(registry_));
        return *store_;
    }

  private:
    platform::Registry& registry_;
    std::unique_ptr<Store> store_;
};

template <class Class>
void RegisterClass(ClassTable& table, std::string_view progId,
                   const std::shared_ptr<StoreLink>& link) {
    table.Register(std::string(progId), [link] { return std::make_unique<Class>(link->Get()); });
}

}  // namespace

void RegisterServerClasses(ClassTable& table, platform::Registry& registry) {
    auto link = std::make_shared<StoreLink>(registry);
    RegisterClass<Login>(table, support::LoginClass::kProgId, link);
    RegisterClass<Mailbox>(table, support::MailboxClass::kProgId, link);
    RegisterClass<Domain>(table, support::DomainClass::kProgId, link);
    RegisterClass<AddressMap>(table, support::AddressMapClass::kProgId, link);
}

void ClassTable::Register(std::string progId, Maker maker) {
    makers_[base::AsciiLower(progId)] = std::move(maker);
}

std::unique_ptr<platform::AdminObject> ClassTable::CreateObject(std::string_view progId) {
    auto it = makers_.find(base::AsciiLower(progId));
    if (it == makers_.end()) {
        throw Error("cannot create object " + base::Quoted(progId) +
                    ": no class is registered under that name");
    }
    auto object = it->second();
    if (!object) throw Error("cannot create object " + base::Quoted(progId));
    return object;
}

}  // namespace seedwell::server
