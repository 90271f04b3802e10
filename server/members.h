#pragma once

// The members of the four administration classes: each class's properties in a fixed order, the
// index of each in that order, and its method names. The stand-in server's classes and the
// tests' COM stand-in of them serve exactly these.

#include <string_view>

#include "server/dispatch.h"

namespace seedwell::server {

struct LoginMembers {
    enum : std::size_t { kAccount, kUserName, kPassword, kDescription, kRights, kStatus };
    static constexpr PropertyDecl kProperties[] = {
        {"Account", PropertyKind::kString},
        {"UserName", PropertyKind::kString},
        {"Password", PropertyKind::kString, true},
        {"Description", PropertyKind::kString},
        {"Rights", PropertyKind::kAny},
        {"Status", PropertyKind::kInt16},
    };
    static constexpr std::string_view kMethodNames[] = {"AddLogin", "RemoveLogin"};
};

struct MailboxMembers {
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
    static constexpr std::string_view kMethodNames[] = {"GetMailbox", "AddMailbox",
                                                        "RemoveMailbox"};
};

struct DomainMembers {
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
    static constexpr std::string_view kMethodNames[] = {"GetDomain", "AddDomain"};
};

struct AddressMapMembers {
    enum : std::size_t { kAccount, kSourceAddress, kDestinationAddress, kScope };
    static constexpr PropertyDecl kProperties[] = {
        {"Account", PropertyKind::kString},
        {"SourceAddress", PropertyKind::kString},
        {"DestinationAddress", PropertyKind::kString},
        {"Scope", PropertyKind::kString},
    };
    static constexpr std::string_view kMethodNames[] = {"GetAddressMap", "AddAddressMap",
                                                        "RemoveAddressMap"};
};

}  // namespace seedwell::server
