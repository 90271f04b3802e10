// An in-process COM server standing in for the mail server's administration objects in the
// Windows tests: TWAOAU.Login, TWAOPO.Mailbox, TWAOSM.Domain and TWAOAM.AddressMap, driven late
// bound through IDispatch, keeping their records in tab-separated files (records.h).

#include <windows.h>

#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <span>
#include <string>

#include "base/error.h"
#include "platform/objects.h"
#include "platform/unique_handle.h"
#include "platform/win_text.h"
#include "server/dispatch.h"
#include "support/admin_classes.h"
#include "tests/windows/dispatch_object.h"
#include "tests/windows/twao_com/records.h"

namespace seedwell::twao_com {
namespace {

using server::PropertyDecl;
using server::PropertySet;
using Kind = server::PropertyKind;
using support::AddressMapClass;
using support::DomainClass;
using support::LoginClass;
using support::MailboxClass;

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};

const char* const kPostoffices = "name";
const char* const kDomains = "domain\tpostoffice\tredirection_hosts\tredirection_status\tstatus";
const char* const kMailboxes =
    "postoffice\tmailbox\tlimit\tredirect_address\tredirect_status\tstatus\tsize";
// The columns of `twao list logins`, and whether a password was given (never the password).
const char* const kLogins = "username\taccount\trights\tstatus\tdescription\tpassword";
const char* const kAddressMaps = "source\tdestination\taccount\tscope";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

void RequirePostoffice(const std::string& postoffice, const std::string& what) {
    if (postoffice.empty()) throw Error(what + ": the post office name is empty");
    RecordFile postoffices("postoffices.tsv", kPostoffices);
    for (const Row& row : postoffices.rows) {
        if (row[0] == postoffice) return;
    }
    throw Error(what + ": the post office " + Quoted(postoffice) + " does not exist");
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return base::EqualsIgnoringCase(a, b);
}

// One class: its properties and methods, by name.
struct ClassSpec {
    std::string_view progId;
    CLSID classId;
    std::span<const PropertyDecl> properties;
    std::span<const std::string_view> methods;
    std::int32_t (*call)(std::string_view method, PropertySet& properties);
};

// --- TWAOAU.Login --------------------------------------------------------------------------
std::int32_t CallLogin(std::string_view method, PropertySet& p) {
    const std::string user = p.Text(LoginClass::kUserName), account = p.Text(LoginClass::kAccount);
    RecordFile logins("logins.tsv", kLogins);
    if (method == LoginClass::kAddLogin) {
        if (user.empty()) throw Error("cannot add the login: the user name is empty");
        const std::string what = "cannot add the login " + Quoted(user);
        if (account.empty()) throw Error(what + ": the post office (account) name is empty");
        for (const Row& row : logins.rows) {
            if (row[0] == user) return 0;
        }
        if (p.Text(LoginClass::kPassword).empty()) throw Error(what + ": the password is empty");
        RequirePostoffice(account, what);
        logins.rows.push_back({user, account, p.Text(LoginClass::kRights),
                               std::to_string(p.Number(LoginClass::kStatus)),
                               p.Text(LoginClass::kDescription), "given"});
        logins.Save();
        return 1;
    }
    if (user.empty() || account.empty()) return 0;
    const auto removed = std::erase_if(
        logins.rows, [&](const Row& row) { return row[0] == user && row[1] == account; });
    if (removed > 0) logins.Save();
    return static_cast<std::int32_t>(removed);
}

// --- TWAOPO.Mailbox ------------------------------------------------------------------------
std::int32_t CallMailbox(std::string_view method, PropertySet& p) {
    const std::string postoffice = p.Text(MailboxClass::kPostoffice),
                      name = p.Text(MailboxClass::kMailbox);
    RecordFile mailboxes("mailboxes.tsv", kMailboxes);
    const auto matches = [&](const Row& row) { return row[0] == postoffice && row[1] == name; };
    if (method == MailboxClass::kGetMailbox) {
        if (postoffice.empty() || name.empty()) return 0;
        const auto found = std::find_if(mailboxes.rows.begin(), mailboxes.rows.end(), matches);
        if (found == mailboxes.rows.end()) return 0;
        p.SetNumber(MailboxClass::kLimit, std::stoi((*found)[2]));
        p.SetText(MailboxClass::kRedirectAddress, (*found)[3]);
        p.SetNumber(MailboxClass::kRedirectStatus, std::stoi((*found)[4]));
        p.SetNumber(MailboxClass::kStatus, std::stoi((*found)[5]));
        p.SetNumber(MailboxClass::kSize, std::stoi((*found)[6]));
        return 1;
    }
    if (method == MailboxClass::kAddMailbox) {
        if (name.empty()) throw Error("cannot add the mailbox: the mailbox name is empty");
        const std::string what = "cannot add the mailbox " + Quoted(name);
        RequirePostoffice(postoffice, what);
        if (std::any_of(mailboxes.rows.begin(), mailboxes.rows.end(), matches)) return 0;
        mailboxes.rows.push_back({postoffice, name, std::to_string(p.Number(MailboxClass::kLimit)),
                                  p.Text(MailboxClass::kRedirectAddress),
                                  std::to_string(p.Number(MailboxClass::kRedirectStatus)),
                                  std::to_string(p.Number(MailboxClass::kStatus)),
                                  std::to_string(p.Number(MailboxClass::kSize))});
        mailboxes.Save();
        return 1;
    }
    if (postoffice.empty() || name.empty()) return 0;
    const auto removed = std::erase_if(mailboxes.rows, matches);
    if (removed > 0) mailboxes.Save();
    return static_cast<std::int32_t>(removed);
}

// --- TWAOSM.Domain -------------------------------------------------------------------------
std::int32_t CallDomain(std::string_view method, PropertySet& p) {
    const std::string name = p.Text(DomainClass::kDomainName);
    RecordFile domains("domains.tsv", kDomains);
    const auto found = std::find_if(domains.rows.begin(), domains.rows.end(),
                                    [&](const Row& row) { return SameIgnoringCase(row[0], name); });
    const bool exists = !name.empty() && found != domains.rows.end();
    if (method == DomainClass::kGetDomain) {
        if (!exists) return 0;
        p.SetText(DomainClass::kAccountName, (*found)[1]);
        p.SetText(DomainClass::kRedirectionHosts, (*found)[2]);
        p.SetNumber(DomainClass::kRedirectionStatus, std::stoi((*found)[3]));
        p.SetNumber(DomainClass::kStatus, std::stoi((*found)[4]));
        return 1;
    }
    if (name.empty()) throw Error("cannot add the domain: the domain name is empty");
    const std::string what = "cannot add the domain " + Quoted(name);
    if (exists) {
        throw Error(what + ": it already exists in the post office " + Quoted((*found)[1]));
    }
    RequirePostoffice(p.Text(DomainClass::kAccountName), what);
    domains.rows.push_back({name, p.Text(DomainClass::kAccountName),
                            p.Text(DomainClass::kRedirectionHosts),
                            std::to_string(p.Number(DomainClass::kRedirectionStatus)),
                            std::to_string(p.Number(DomainClass::kStatus))});
    domains.Save();
    return 1;
}

// --- TWAOAM.AddressMap ---------------------------------------------------------------------
std::int32_t CallAddressMap(std::string_view method, PropertySet& p) {
    const std::string source = p.Text(AddressMapClass::kSourceAddress),
                      account = p.Text(AddressMapClass::kAccount),
                      destination = p.Text(AddressMapClass::kDestinationAddress);
    RecordFile maps("addressmaps.tsv", kAddressMaps);
    const auto found = std::find_if(maps.rows.begin(), maps.rows.end(),
                                    [&](const Row& row) { return row[0] == source; });
    const bool exists = !source.empty() && found != maps.rows.end();
    if (method == AddressMapClass::kGetAddressMap) {
        if (!exists) return 0;
        p.SetText(AddressMapClass::kDestinationAddress, (*found)[1]);
        p.SetText(AddressMapClass::kAccount, (*found)[2]);
        p.SetText(AddressMapClass::kScope, (*found)[3]);
        return 1;
    }
    if (method == AddressMapClass::kAddAddressMap) {
        if (source.empty()) throw Error("cannot add the address map: the source address is empty");
        const std::string what = "cannot add the address map for " + Quoted(source);
        if (destination.empty()) throw Error(what + ": the destination address is empty");
        RequirePostoffice(account, what);
        if (exists) return 0;
        maps.rows.push_back({source, destination, account, p.Text(AddressMapClass::kScope)});
        maps.Save();
        return 1;
    }
    if (account.empty() || destination.empty()) return 0;
    const auto removed = std::erase_if(
        maps.rows, [&](const Row& row) { return row[2] == account && row[1] == destination; });
    if (removed > 0) maps.Save();
    return static_cast<std::int32_t>(removed);
}

// Class identifiers of the stand-in's own.
const ClassSpec kClasses[] = {
    {LoginClass::kProgId,
     {0x5eed0001, 0x7a11, 0x4c0d, {0x9e, 0x57, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x01}},
     LoginClass::kProperties,
     LoginClass::kMethods,
     CallLogin},
    {MailboxClass::kProgId,
     {0x5eed0001, 0x7a11, 0x4c0d, {0x9e, 0x57, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x02}},
     MailboxClass::kProperties,
     MailboxClass::kMethods,
     CallMailbox},
    {DomainClass::kProgId,
     {0x5eed0001, 0x7a11, 0x4c0d, {0x9e, 0x57, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x03}},
     DomainClass::kProperties,
     DomainClass::kMethods,
     CallDomain},
    {AddressMapClass::kProgId,
     {0x5eed0001, 0x7a11, 0x4c0d, {0x9e, 0x57, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x04}},
     AddressMapClass::kProperties,
     AddressMapClass::kMethods,
     CallAddressMap},
};

constexpr DISPID kFirstMethodId = 100;

HRESULT Fail(EXCEPINFO* info, const std::string& description) {
    if (info != nullptr) {
        *info = EXCEPINFO{};
        info->scode = E_FAIL;
        const auto wide = platform::win::Widen(description);
        info->bstrDescription = SysAllocString(wide ? wide->c_str() : L"failure");
        info->bstrSource = SysAllocString(L"twao_com");
    }
    return DISP_E_EXCEPTION;
}

class AdminObject final : public test_support::DispatchObject<AdminObject> {
  public:
    explicit AdminObject(const ClassSpec& entry) : spec_(entry), properties_(entry.properties) {
        ++g_objects;
    }
    ~AdminObject() { --g_objects; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count == 0) return S_OK;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        const auto name = platform::win::Narrow(names[0]);
        if (!name) return DISP_E_UNKNOWNNAME;
        const std::size_t property = properties_.Find(*name);
        if (property < spec_.properties.size()) {
            ids[0] = static_cast<DISPID>(property + 1);
        } else {
            for (std::size_t m = 0; m < spec_.methods.size(); ++m) {
                if (base::EqualsIgnoringCase(spec_.methods[m], *name)) {
                    ids[0] = kFirstMethodId + static_cast<DISPID>(m);
                }
            }
        }
        if (ids[0] == DISPID_UNKNOWN || count > 1) return DISP_E_UNKNOWNNAME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* info, UINT* badArgument) override {
        try {
            if (id >= kFirstMethodId &&
                static_cast<std::size_t>(id - kFirstMethodId) < spec_.methods.size()) {
                if (!(flags & DISPATCH_METHOD) || parameters->cArgs != 0) {
                    return DISP_E_BADPARAMCOUNT;
                }
                const std::int32_t answer =
                    spec_.call(spec_.methods[id - kFirstMethodId], properties_);
                if (result != nullptr) {
                    VariantInit(result);
                    result->vt = VT_I4;
                    result->lVal = answer;
                }
                return S_OK;
            }
            if (id < 1 || static_cast<std::size_t>(id) > spec_.properties.size()) {
                return DISP_E_MEMBERNOTFOUND;
            }
            const PropertyDecl& property = spec_.properties[id - 1];
            if (flags & DISPATCH_PROPERTYPUT) {
                if (parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
                properties_.Set(property.name, ValueOf(property, parameters->rgvarg[0]));
                return S_OK;
            }
            if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
            if (result != nullptr) {
                VariantInit(result);
                const std::size_t index = static_cast<std::size_t>(id - 1);
                if (property.kind == Kind::kInt16) {
                    result->vt = VT_I2;
                    result->iVal = static_cast<SHORT>(properties_.Number(index));
                } else if (property.kind == Kind::kInt32) {
                    result->vt = VT_I4;
                    result->lVal = properties_.Number(index);
                } else {
                    const auto wide = platform::win::Widen(properties_.Get(property.name));
                    result->vt = VT_BSTR;
                    result->bstrVal = SysAllocString(wide ? wide->c_str() : L"");
                }
            }
            return S_OK;
        } catch (const std::exception& failure) {
            if (badArgument != nullptr) *badArgument = 0;
            return Fail(info, failure.what());
        }
    }

  private:
    static platform::Value ValueOf(const PropertyDecl& property, const VARIANT& value) {
        switch (value.vt) {
            case VT_BSTR: {
                const auto text = platform::win::Narrow(std::wstring_view(
                    value.bstrVal ? value.bstrVal : L"", SysStringLen(value.bstrVal)));
                if (!text)
                    throw Error("Type mismatch: the text for '" + std::string(property.name) +
                                "' is not UTF-16");
                return *text;
            }
            case VT_I2:
                return static_cast<std::int16_t>(value.iVal);
            case VT_I4:
                return static_cast<std::int32_t>(value.lVal);
            default:
                throw Error(
                    "Type mismatch: '" + std::string(property.name) +
                    "' takes a string, a 16-bit or a 32-bit integer, not the variant type " +
                    std::to_string(value.vt));
        }
    }

    const ClassSpec& spec_;
    PropertySet properties_;
};

class Factory final : public IClassFactory {
  public:
    explicit Factory(const ClassSpec& entry) : spec_(entry) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the DLL
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        const platform::ComPtr<AdminObject> object(new (std::nothrow) AdminObject(spec_));
        if (!object) return E_OUTOFMEMORY;
        return object.get()->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++g_objects : --g_objects;
        return S_OK;
    }

  private:
    const ClassSpec& spec_;
};

Factory g_factories[] = {Factory(kClasses[0]), Factory(kClasses[1]), Factory(kClasses[2]),
                         Factory(kClasses[3])};

std::wstring GuidText(const CLSID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

bool SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

}  // namespace
}  // namespace seedwell::twao_com

using namespace seedwell::twao_com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
        if (classId == kClasses[i].classId) return g_factories[i].QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(g_module, path, MAX_PATH) == 0) return SELFREG_E_CLASS;
    for (const ClassSpec& entry : kClasses) {
        const std::wstring clsid = GuidText(entry.classId);
        const std::wstring key = L"Software\\Classes\\CLSID\\" + clsid;
        const std::wstring progId(entry.progId.begin(), entry.progId.end());  // ASCII
        const std::wstring progIdKey = L"Software\\Classes\\" + progId;
        if (!SetValue(HKEY_LOCAL_MACHINE, key, nullptr, progId) ||
            !SetValue(HKEY_LOCAL_MACHINE, key + L"\\ProgID", nullptr, progId) ||
            !SetValue(HKEY_LOCAL_MACHINE, key + L"\\InprocServer32", nullptr, path) ||
            !SetValue(HKEY_LOCAL_MACHINE, key + L"\\InprocServer32", L"ThreadingModel",
                      L"Apartment") ||
            !SetValue(HKEY_LOCAL_MACHINE, progIdKey + L"\\CLSID", nullptr, clsid)) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    for (const ClassSpec& entry : kClasses) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (L"Software\\Classes\\CLSID\\" + GuidText(entry.classId)).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" +
                                            std::wstring(entry.progId.begin(), entry.progId.end()))
                                               .c_str());
    }
    return S_OK;
}
