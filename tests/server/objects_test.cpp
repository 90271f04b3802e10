#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"
#include "server/password.h"
#include "server_fixture.h"
#include "support/names.h"

namespace seedwell::server_test {
namespace {

using ::testing::HasSubstr;

std::string Failure(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "(no failure)";
}

using Objects = ServerFixture;

TEST_F(Objects, GetMailboxMatchesOnItsKeyAndFillsTheOtherProperties) {
    ASSERT_EQ(AddMailbox("main", "alice", 1), 1);
    auto mailbox = Make("TWAOPO.Mailbox", {{"Postoffice", std::string("main")},
                                           {"Mailbox", std::string("alice")},
                                           {"Limit", std::int16_t{-1}},
                                           {"RedirectAddress", std::string()},
                                           {"RedirectStatus", std::int16_t{-1}},
                                           {"Status", std::int16_t{-1}}});
    EXPECT_NE(mailbox->CallMethod("GetMailbox"), 0);
    EXPECT_EQ(mailbox->GetProperty("Status"), "1");
    EXPECT_EQ(mailbox->GetProperty("RedirectStatus"), "0");
    EXPECT_EQ(mailbox->GetProperty("Limit"), "-1");
    EXPECT_EQ(mailbox->GetProperty("Size"), "0");

    // The same name in another post office, or the other case, is another mailbox.
    EXPECT_EQ(Call("TWAOPO.Mailbox",
                   {{"Postoffice", std::string("sales")}, {"Mailbox", std::string("alice")}},
                   "GetMailbox"),
              0);
    EXPECT_EQ(Call("TWAOPO.Mailbox",
                   {{"Postoffice", std::string("main")}, {"Mailbox", std::string("Alice")}},
                   "GetMailbox"),
              0);
}

TEST_F(Objects, GetDomainIgnoresAsciiCaseAndAnswersTheOwningPostOffice) {
    ASSERT_EQ(AddDomain("sales", "Example.org"), 1);
    auto domain = Make("TWAOSM.Domain", {{"AccountName", std::string()},
                                         {"DomainName", std::string("EXAMPLE.ORG")},
                                         {"DomainRedirectionHosts", std::string()},
                                         {"DomainRedirectionStatus", std::int16_t{-1}},
                                         {"Status", std::int16_t{-1}}});
    ASSERT_NE(domain->CallMethod("GetDomain"), 0);
    EXPECT_EQ(domain->GetProperty("AccountName"), "sales");
    EXPECT_EQ(domain->GetProperty("Status"), "1");
    EXPECT_EQ(domain->GetProperty("DomainRedirectionStatus"), "0");

    // Adding it again in another case changes nothing: to its own post office it answers zero;
    // to another, which would file that caller's mailboxes wrongly, it fails naming the owner.
    EXPECT_EQ(AddDomain("sales", "example.ORG"), 0);
    EXPECT_EQ(Failure([&] { AddDomain("main", "example.ORG"); }),
              "cannot add the domain 'example.ORG': it exists already, owned by the post office "
              "'sales'");
    auto again = Make("TWAOSM.Domain", {{"DomainName", std::string("example.org")}});
    ASSERT_NE(again->CallMethod("GetDomain"), 0);
    EXPECT_EQ(again->GetProperty("AccountName"), "sales");

    auto missing = Make("TWAOSM.Domain", {{"AccountName", std::string("main")},
                                          {"DomainName", std::string("example.net")}});
    EXPECT_EQ(missing->CallMethod("GetDomain"), 0);
    EXPECT_EQ(missing->GetProperty("AccountName"), "main");
}

TEST_F(Objects, GetAddressMapMatchesOnTheSourceWhateverTheAccount) {
    ASSERT_EQ(AddMap("main", "[SMTP:alice@example.com]", "[SF:main/alice]"), 1);
    auto map =
        Make("TWAOAM.AddressMap", {{"Account", std::string()},
                                   {"DestinationAddress", std::string()},
                                   {"Scope", std::string()},
                                   {"SourceAddress", std::string("[SMTP:alice@example.com]")}});
    ASSERT_NE(map->CallMethod("GetAddressMap"), 0);
    EXPECT_EQ(map->GetProperty("Account"), "main");
    EXPECT_EQ(map->GetProperty("DestinationAddress"), "[SF:main/alice]");
}

TEST_F(Objects, EmptyKeysNeverMatch) {
    ASSERT_EQ(AddMailbox("main", "alice"), 1);
    EXPECT_EQ(
        Call("TWAOPO.Mailbox", {{"Postoffice", std::string()}, {"Mailbox", std::string("alice")}},
             "GetMailbox"),
        0);
    EXPECT_EQ(Call("TWAOSM.Domain", {{"DomainName", std::string()}}, "GetDomain"), 0);
    EXPECT_EQ(Call("TWAOAM.AddressMap", {{"SourceAddress", std::string()}}, "GetAddressMap"), 0);
    // Unset properties are empty too.
    EXPECT_EQ(Make("TWAOPO.Mailbox")->CallMethod("GetMailbox"), 0);
}

TEST_F(Objects, AddingWhatExistsAnswersZeroAndChangesNothing) {
    ASSERT_EQ(AddMailbox("main", "alice", 1), 1);
    EXPECT_EQ(AddMailbox("main", "alice", 7), 0);
    auto mailbox = Make("TWAOPO.Mailbox",
                        {{"Postoffice", std::string("main")}, {"Mailbox", std::string("alice")}});
    ASSERT_NE(mailbox->CallMethod("GetMailbox"), 0);
    EXPECT_EQ(mailbox->GetProperty("Status"), "1");

    ASSERT_EQ(AddMap("main", "[SMTP:a@example.com]", "[SF:main/alice]"), 1);
    EXPECT_EQ(AddMap("sales", "[SMTP:a@example.com]", "[SF:sales/bob]"), 0);
    auto map = Make("TWAOAM.AddressMap", {{"SourceAddress", std::string("[SMTP:a@example.com]")}});
    ASSERT_NE(map->CallMethod("GetAddressMap"), 0);
    EXPECT_EQ(map->GetProperty("DestinationAddress"), "[SF:main/alice]");

    // An existing login keeps its password.
    ASSERT_EQ(AddLogin("main", "alice@main", "first one"), 1);
    EXPECT_EQ(AddLogin("main", "alice@main", "second one"), 0);
    server::Store store(StorePath());
    const auto hash = store.LoginPasswordHash("alice@main");
    ASSERT_TRUE(hash);
    EXPECT_TRUE(server::PasswordMatches("first one", *hash));
    EXPECT_FALSE(server::PasswordMatches("second one", *hash));
}

TEST_F(Objects, AddFailsWithADescriptionForAMissingPostOfficeOrAnEmptyKey) {
    EXPECT_EQ(Failure([&] { AddMailbox("mian", "alice"); }),
              "cannot add the mailbox 'alice': the post office 'mian' does not exist");
    EXPECT_EQ(Failure([&] { AddDomain("mian", "example.com"); }),
              "cannot add the domain 'example.com': the post office 'mian' does not exist");
    EXPECT_THAT(Failure([&] { AddLogin("mian", "alice@mian", "pw"); }),
                HasSubstr("the post office 'mian' does not exist"));
    EXPECT_THAT(Failure([&] { AddMap("mian", "[SMTP:a@example.com]", "[SF:mian/a]"); }),
                HasSubstr("the post office 'mian' does not exist"));

    EXPECT_EQ(Failure([&] { AddMailbox("main", ""); }),
              "cannot add the mailbox: the mailbox name is empty");
    EXPECT_EQ(Failure([&] { AddMailbox("", "alice"); }),
              "cannot add the mailbox 'alice': the post office name is empty");
    EXPECT_EQ(Failure([&] { AddDomain("main", ""); }),
              "cannot add the domain: the domain name is empty");
    EXPECT_EQ(Failure([&] { AddLogin("main", "", "pw"); }),
              "cannot add the login: the user name is empty");
    EXPECT_EQ(Failure([&] { AddMap("main", "", "[SF:main/a]"); }),
              "cannot add the address map: the source address is empty");

    // Nothing was left behind by the failures.
    server::Store store(StorePath());
    for (const char* listing : {server::sql::kListDomains, server::sql::kListMailboxes,
                                server::sql::kListLogins, server::sql::kListAddressMaps}) {
        EXPECT_TRUE(store.List(listing).empty()) << listing;
    }
}

TEST_F(Objects, UnsafeMailboxNamesAndEmptyPasswordsAreRefused) {
    for (const std::string& name :
         std::vector<std::string>{"../alice", "a/b", "a\\b", "..", ".", "a\nb",
                                  "a\xC2\x85"
                                  "b",
                                  std::string(256, 'a')}) {
        EXPECT_EQ(
            Failure([&] { AddMailbox("main", name); }),
            "cannot add the mailbox: " + *support::FolderNameProblem("the mailbox name", name));
    }
    EXPECT_EQ(AddMailbox("main", "alice smith.jr"), 1);
    EXPECT_EQ(Failure([&] { AddLogin("main", "alice@main", ""); }),
              "cannot add the login 'alice@main': the password is empty");
}

TEST_F(Objects, RemoveAddressMapRemovesEveryMapOfTheDestinationInThatAccountOnly) {
    ASSERT_EQ(AddMap("main", "[SMTP:a@example.com]", "[SF:main/a]"), 1);
    ASSERT_EQ(AddMap("main", "[SMTP:a@example.org]", "[SF:main/a]"), 1);
    ASSERT_EQ(AddMap("main", "[SMTP:b@example.com]", "[SF:main/b]"), 1);
    ASSERT_EQ(AddMap("sales", "[SMTP:a@example.net]", "[SF:main/a]"), 1);
    auto remove = [&](std::string account, std::string destination) {
        return Call("TWAOAM.AddressMap",
                    {{"Account", account},
                     {"DestinationAddress", destination},
                     {"Scope", std::string()},
                     {"SourceAddress", std::string()}},
                    "RemoveAddressMap");
    };
    EXPECT_EQ(remove("main", "[SF:main/a]"), 2);
    EXPECT_EQ(remove("main", "[SF:main/a]"), 0);
    server::Store store(StorePath());
    const auto left = store.List(server::sql::kListAddressMaps);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0][0], "[SMTP:a@example.net]");
    EXPECT_EQ(left[1][0], "[SMTP:b@example.com]");
}

TEST_F(Objects, RemoveMailboxAndRemoveLoginMatchTheirTwoKeys) {
    ASSERT_EQ(AddMailbox("main", "alice"), 1);
    ASSERT_EQ(AddMailbox("sales", "alice"), 1);
    auto removeMailbox = [&](std::string po, std::string name) {
        return Call("TWAOPO.Mailbox",
                    {{"Postoffice", po},
                     {"Mailbox", name},
                     {"Limit", std::int16_t{0}},
                     {"RedirectAddress", std::string()},
                     {"RedirectStatus", std::int16_t{0}},
                     {"Size", std::int16_t{0}}},
                    "RemoveMailbox");
    };
    EXPECT_EQ(removeMailbox("main", "alice"), 1);
    EXPECT_EQ(removeMailbox("main", "alice"), 0);
    EXPECT_EQ(Call("TWAOPO.Mailbox",
                   {{"Postoffice", std::string("sales")}, {"Mailbox", std::string("alice")}},
                   "GetMailbox"),
              1);

    ASSERT_EQ(AddLogin("main", "alice@main", "pw"), 1);
    auto removeLogin = [&](std::string account, std::string user) {
        return Call("TWAOAU.Login",
                    {{"Account", account},
                     {"Password", std::string()},
                     {"Status", std::int16_t{-1}},
                     {"UserName", user},
                     {"Description", std::string()}},
                    "RemoveLogin");
    };
    EXPECT_EQ(removeLogin("sales", "alice@main"), 0);
    EXPECT_EQ(removeLogin("main", "alice@main"), 1);
    EXPECT_FALSE(server::Store(StorePath()).LoginPasswordHash("alice@main"));
}

TEST_F(Objects, MembersMatchIgnoringCaseAndRejectUnknownNamesWrongKindsAndOverflow) {
    auto mailbox = Make("twaopo.MAILBOX");
    mailbox->SetProperty("postOFFICE", std::string("main"));
    mailbox->SetProperty("mailbox", std::string("alice"));
    EXPECT_EQ(mailbox->CallMethod("addmailbox"), 1);
    EXPECT_EQ(mailbox->GetProperty("POSTOFFICE"), "main");

    EXPECT_EQ(Failure([&] { mailbox->SetProperty("Foo", std::string()); }),
              "Object doesn't support this property or method: 'Foo'");
    EXPECT_EQ(Failure([&] { mailbox->CallMethod("GetDomain"); }),
              "Object doesn't support this property or method: 'GetDomain'");
    EXPECT_EQ(Failure([&] { mailbox->GetProperty("Password"); }),
              "Object doesn't support this property or method: 'Password'");
    EXPECT_EQ(Failure([&] { mailbox->CallMethod("Status"); }),
              "Object doesn't support this property or method: 'Status'");

    EXPECT_EQ(Failure([&] { mailbox->SetProperty("Status", std::string("1")); }),
              "Type mismatch: 'Status' takes a 16-bit integer, not a string");
    EXPECT_THAT(Failure([&] { mailbox->SetProperty("Mailbox", std::int16_t{1}); }),
                HasSubstr("Type mismatch: 'Mailbox' takes a string"));
    EXPECT_THAT(Failure([&] { mailbox->SetProperty("Limit", std::string("-1")); }),
                HasSubstr("Type mismatch: 'Limit'"));
    EXPECT_THAT(Failure([&] { mailbox->SetProperty("Status", std::int32_t{32768}); }),
                HasSubstr("Overflow: 'Status'"));
    EXPECT_THAT(Failure([&] { mailbox->SetProperty("Size", std::int32_t{-32769}); }),
                HasSubstr("Overflow: 'Size'"));

    mailbox->SetProperty("Status", std::int32_t{-32768});
    EXPECT_EQ(mailbox->GetProperty("Status"), "-32768");
    mailbox->SetProperty("Limit", std::int32_t{1000000});
    EXPECT_EQ(mailbox->GetProperty("Limit"), "1000000");
    mailbox->SetProperty("Limit", std::int16_t{-1});
    EXPECT_EQ(mailbox->GetProperty("Limit"), "-1");
}

TEST_F(Objects, LoginKeepsRightsInAnyKindAndNeverReadsBackThePassword) {
    auto login = Make("TWAOAU.Login", {{"Password", std::string("s3cret")}});
    EXPECT_EQ(login->GetProperty("Password"), "");
    login->SetProperty("Rights", std::int16_t{7});
    EXPECT_EQ(login->GetProperty("Rights"), "7");
    login->SetProperty("Rights", std::string("USER"));
    EXPECT_EQ(login->GetProperty("Rights"), "USER");
    EXPECT_EQ(Failure([&] { login->SetProperty("Status", std::string("1")); }),
              "Type mismatch: 'Status' takes a 16-bit integer, not a string");
}

}  // namespace
}  // namespace seedwell::server_test
