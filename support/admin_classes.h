#pragma once

// The mail server's four administration classes as the program drives them: each class's
// programmatic identifier, its properties in a fixed order with the kind of value each takes
// (and the index of each in that order), and its method names. The operations call exactly
// these; the stand-in server's classes and the tests' COM stand-in of them serve exactly these.

#include <cstddef>
#include <string_view>

namespace seedwell::support {

/// The kind of value a property accepts.
enum class PropertyKind {
    kString,
    kInt16,  // a 16-bit integer, or a 32-bit one within -32768..32767
    kInt32,  // a 16-bit or a 32-bit integer
    kAny,    // any kind, kept as its text
};

struct PropertyDecl {
    std::string_view name;
    PropertyKind kind;
    bool secret = false;  // reads back as empty text
};

struct LoginClass {
    static constexpr std::string_view kProgId = "TWAOAU.Login";
    enum : std::size_t { kAccount, kUserName, kPassword, kDescription, kRights, kStatus };
    static constexpr PropertyDecl kProperties[] = {
        {"Account", PropertyKind::kString},
        {"UserName", PropertyKind::kString},
        {"Password", PropertyKind::kString, true},
        {"Description", PropertyKind::kString},
        {"Rights", PropertyKind::kAny},
        {"Status", PropertyKind::kInt16},
    };
    static constexpr std::string_view kAddLogin = "AddLogin";
    static constexpr std::string_view kRemoveLogin = "RemoveLogin";
    static constexpr std::string_view kMethods[] = {kAddLogin, kRemoveLogin};
};

struct MailboxClass {
    static constexpr std::string_view kProgId = "TWAOPO.Mailbox";
    enum : std::size_t {
        kPostoffice,
        kMailbox,
        kRedirectAddress,
        kLimit,
        kRedirectStatus,
        kStatus,
        kSize
    };
    static constexpr PropertyDecl kProperties[] = {
        {"Postoffice", PropertyKind::kString},
        {"Mailbox", PropertyKind::kString},
        {"RedirectAddress", PropertyKind::kString},
        {"Limit", PropertyKind::kInt32},
        {"RedirectStatus", PropertyKind::kInt16},
        {"Status", PropertyKind::kInt16},
        {"Size", PropertyKind::kInt16},
    };
    static constexpr std::string_view kGetMailbox = "GetMailbox";
    static constexpr std::string_view kAddMailbox = "AddMailbox";
    static constexpr std::string_view kRemoveMailbox = "RemoveMailbox";
    static constexpr std::string_view kMethods[] = {kGetMailbox, kAddMailbox, kRemoveMailbox};
};

struct DomainClass {
    static constexpr std::string_view kProgId = "TWAOSM.Domain";
    enum : std::size_t {
        kAccountName,
        kDomainName,
        kRedirectionHosts,
        kRedirectionStatus,
        kStatus
    };
    static constexpr PropertyDecl kProperties[] = {
        {"AccountName", PropertyKind::kString},
        {"DomainName", PropertyKind::kString},
        {"DomainRedirectionHosts", PropertyKind::kString},
        {"DomainRedirectionStatus", PropertyKind::kInt16},
        {"Status", PropertyKind::kInt16},
    };
    static constexpr std::string_view kGetDomain = "GetDomain";
    static constexpr std::string_view kAddDomain = "AddDomain";
    static constexpr std::string_view kMethods[] = {kGetDomain, kAddDomain};
};

struct AddressMapClass {
    static constexpr std::string_view kProgId = "TWAOAM.AddressMap";
    enum : std::size_t { kAccount, kSourceAddress, kDestinationAddress, kScope };
    static constexpr PropertyDecl kProperties[] = {
        {"Account", PropertyKind::kString},
        {"SourceAddress", PropertyKind::kString},
        {"DestinationAddress", PropertyKind::kString},
        {"Scope", PropertyKind::kString},
    };
    static constexpr std::string_view kGetAddressMap = "GetAddressMap";
    static constexpr std::string_view kAddAddressMap = "AddAddressMap";
    static constexpr std::string_view kRemoveAddressMap = "RemoveAddressMap";
    static constexpr std::string_view kMethods[] = {kGetAddressMap, kAddAddressMap,
                                                    kRemoveAddressMap};
};

}  // namespace seedwell::support
