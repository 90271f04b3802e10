#pragma once

// A COM class of the test's own, served in-process under the programmatic identifier
// "Seedwell.Recording" while a RecordingClass lives. Its objects record how they are invoked
// (flags, argument types, named arguments) and answer or fail as the member named asks, so that
// the late binding can be checked call by call, down to the EXCEPINFO of a failure.

#include <windows.h>

#include <oleauto.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "tests/windows/dispatch_object.h"

namespace seedwell::test_support {

/// One Invoke as the object saw it.
struct Invocation {
    DISPID member = 0;
    WORD flags = 0;
    std::vector<VARTYPE> argumentTypes;
    std::vector<DISPID> namedArguments;
    std::wstring text;  ///< the string argument, if any
    long number = 0;    ///< the integer argument, if any
};

class RecordingObject final : public DispatchObject<RecordingObject> {
  public:
    static constexpr const wchar_t* kNames[] = {L"Name",    L"Status",    L"Limit",    L"Truth",
                                                L"Nothing", L"Described", L"Deferred", L"Silent",
                                                L"Coded",   L"Surrogate", L"Count"};

    explicit RecordingObject(std::vector<Invocation>& log, long& live) : log_(log), live_(live) {
        ++live_;
    }
    ~RecordingObject() { --live_; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count != 1) return E_INVALIDARG;
        for (DISPID id = 0; id < DISPID(std::size(kNames)); ++id) {
            if (_wcsicmp(names[0], kNames[id]) == 0) {
                ids[0] = id + 1;
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        Invocation call;
        call.member = member;
        call.flags = flags;
        for (UINT i = 0; i < params->cArgs; ++i) {
            const VARIANT& argument = params->rgvarg[i];
            call.argumentTypes.push_back(argument.vt);
            if (argument.vt == VT_BSTR) {
                call.text.assign(argument.bstrVal, SysStringLen(argument.bstrVal));
            }
            if (argument.vt == VT_I2) call.number = argument.iVal;
            if (argument.vt == VT_I4) call.number = argument.lVal;
        }
        for (UINT i = 0; i < params->cNamedArgs; ++i) {
            call.namedArguments.push_back(params->rgdispidNamedArgs[i]);
        }
        log_.push_back(call);
        const std::wstring_view name = kNames[member - 1];
        if (flags & DISPATCH_PROPERTYPUT) {
            if (name == L"Name") name_ = call.text;
            return S_OK;
        }
        if (name == L"Name") {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocStringLen(name_.data(), UINT(name_.size()));
        } else if (name == L"Truth") {
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_TRUE;
        } else if (name == L"Nothing") {
            V_VT(result) = VT_NULL;
        } else if (name == L"Count") {
            V_VT(result) = VT_BSTR;  // text that reads as a number
            V_BSTR(result) = SysAllocString(L"42");
        } else if (name == L"Surrogate") {
            const wchar_t lone[] = {L'a', wchar_t(0xD800)};
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocStringLen(lone, 2);
        } else if (name == L"Described") {
            exception->bstrDescription =
                SysAllocString(L"the post office '\x1B[2Jmian' does not exist");
            exception->bstrSource = SysAllocString(L"Recording");
            exception->scode = E_FAIL;
            return DISP_E_EXCEPTION;
        } else if (name == L"Deferred") {
            exception->pfnDeferredFillIn = &FillInLater;
            return DISP_E_EXCEPTION;
        } else if (name == L"Silent") {
            exception->scode = E_ACCESSDENIED;
            return DISP_E_EXCEPTION;
        } else if (name == L"Coded") {
            exception->wCode = 1234;
            return DISP_E_EXCEPTION;
        }
        return S_OK;
    }

  private:
    static HRESULT STDAPICALLTYPE FillInLater(EXCEPINFO* info) {
        info->bstrDescription = SysAllocString(L"filled in later\r\n");
        info->scode = E_FAIL;
        return S_OK;
    }

    std::vector<Invocation>& log_;
    long& live_;
    std::wstring name_;
};

/// Serves RecordingObjects under `progId` for as long as it lives. COM must be initialised on
/// the thread around it. Tests that run at the same time need identifiers of their own.
class RecordingClass final : public IClassFactory {
  public:
    explicit RecordingClass(std::string progId) : progId_(std::move(progId)) {
        // {5EED3E11-0000-4000-8000-000000000001}
        classId_ = {0x5eed3e11, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
        // The user's classes where Windows merges them in; the machine's where it does not (Wine).
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegSetKeyValueA(root, (Key() + "\\CLSID").c_str(), nullptr, REG_SZ, kClassId,
                            DWORD(std::strlen(kClassId) + 1));
            written_.push_back(root);
            const std::wstring wide(progId_.begin(), progId_.end());
            CLSID found{};
            if (SUCCEEDED(CLSIDFromProgID(wide.c_str(), &found)) && found == classId_) {
                break;
            }
        }
        registered_ = SUCCEEDED(CoRegisterClassObject(classId_, this, CLSCTX_INPROC_SERVER,
                                                      REGCLS_MULTIPLEUSE, &cookie_));
    }
    ~RecordingClass() {
        if (registered_) CoRevokeClassObject(cookie_);
        for (HKEY root : written_) RegDeleteTreeA(root, Key().c_str());
    }
    RecordingClass(const RecordingClass&) = delete;
    RecordingClass& operator=(const RecordingClass&) = delete;

    bool Registered() const { return registered_; }
    const std::string& ProgId() const { return progId_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        const platform::ComPtr<RecordingObject> object(new RecordingObject(calls, live));
        return object.get()->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    std::vector<Invocation> calls;
    long live = 0;  ///< objects not yet released

  private:
    static constexpr const char* kClassId = "{5EED3E11-0000-4000-8000-000000000001}";

    std::string Key() const { return "Software\\Classes\\" + progId_; }

    std::string progId_;
    CLSID classId_{};
    std::vector<HKEY> written_;
    DWORD cookie_ = 0;
    bool registered_ = false;
};

}  // namespace seedwell::test_support
