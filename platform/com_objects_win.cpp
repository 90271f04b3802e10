#include "platform/com_objects.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <memory>

#include "base/error.h"
#include "base/printable.h"
#include "platform/unique_handle.h"
#include "platform/win_text.h"

namespace seedwell::platform {
namespace {

/// Owns a VARIANT and whatever it holds. A VARIANT is a tagged union cleared in place, not a
/// value with a "nothing" state, so it keeps a class of its own; so does EXCEPINFO below.
class Variant {
  public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* Get() { return &value_; }

  private:
    VARIANT value_;
};

/// Owns the strings that a failed Invoke leaves in an EXCEPINFO.
class ExceptionInfo {
  public:
    ExceptionInfo() = default;
    ~ExceptionInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    EXCEPINFO* Get() { return &info_; }

    /// The object's own description of its failure (outside text: shown printable), else the
    /// system's text for its code.
    std::string Reason() {
        if (info_.pfnDeferredFillIn) {
            info_.pfnDeferredFillIn(&info_);
            info_.pfnDeferredFillIn = nullptr;
        }
        if (info_.bstrDescription && SysStringLen(info_.bstrDescription) > 0) {
            auto text = win::Narrow(
                std::wstring_view(info_.bstrDescription, SysStringLen(info_.bstrDescription)));
            while (text && !text->empty() && (text->back() == '\n' || text->back() == '\r')) {
                text->pop_back();
            }
            if (text && !text->empty()) return base::Printable(*text);
        }
        if (info_.scode != 0) return win::HResultReason(info_.scode);
        if (info_.wCode != 0) return "error " + std::to_string(info_.wCode);
        return win::HResultReason(DISP_E_EXCEPTION);
    }

  private:
    EXCEPINFO info_{};
};

class ComObject : public AdminObject {
  public:
    ComObject(std::shared_ptr<ComApartment> apartment, ComPtr<IDispatch> object, std::string progId)
        : apartment_(std::move(apartment)),
          object_(std::move(object)),
          progId_(std::move(progId)) {}

    void SetProperty(std::string_view name, const Value& value) override {
        const std::string doing = "cannot set " + Member(name);
        Variant argument;
        VARIANT& v = *argument.Get();
        if (const auto* text = std::get_if<std::string>(&value)) {
            if (text->find('\0') != std::string::npos) {
                throw Error(doing + ": the text holds a NUL character");
            }
            const auto wide = win::Widen(*text);
            if (!wide) throw Error(doing + ": the text is not valid UTF-8");
            // The VARIANT owns the string from here on.
            v.bstrVal = SysAllocStringLen(wide->data(), static_cast<UINT>(wide->size()));
            if (!v.bstrVal) {
                throw Error(doing + ": out of memory for a string of " +
                            std::to_string(wide->size()) + " characters");
            }
            v.vt = VT_BSTR;
        } else if (const auto* small = std::get_if<std::int16_t>(&value)) {
            v.vt = VT_I2;
            v.iVal = *small;
        } else {
            v.vt = VT_I4;
            v.lVal = std::get<std::int32_t>(value);
        }
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS parameters{};
        parameters.rgvarg = argument.Get();
        parameters.cArgs = 1;
        parameters.rgdispidNamedArgs = &putId;
        parameters.cNamedArgs = 1;
        Invoke(doing, name, DISPATCH_PROPERTYPUT, parameters, nullptr);
    }

    std::int32_t CallMethod(std::string_view name) override {
        const std::string doing = "cannot call " + Member(name);
        Variant result;
        DISPPARAMS none{};
        Invoke(doing, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, result.Get());
        const HRESULT hr = VariantChangeType(result.Get(), result.Get(), 0, VT_I4);
        if (FAILED(hr)) {
            throw Error(doing + ": its result is not a 32-bit integer: " + win::HResultReason(hr));
        }
        return static_cast<std::int32_t>(result.Get()->lVal);
    }

    std::string GetProperty(std::string_view name) override {
        const std::string doing = "cannot read " + Member(name);
        Variant result;
        DISPPARAMS none{};
        Invoke(doing, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none, result.Get());
        if (result.Get()->vt == VT_NULL) throw Error(doing + ": its value is Null, not text");
        const HRESULT hr =
            VariantChangeType(result.Get(), result.Get(), VARIANT_ALPHABOOL, VT_BSTR);
        if (FAILED(hr)) throw Error(doing + ": its value is not text: " + win::HResultReason(hr));
        const BSTR text = result.Get()->bstrVal;
        const auto utf8 = win::Narrow(std::wstring_view(text ? text : L"", SysStringLen(text)));
        if (!utf8) throw Error(doing + ": its text is not valid UTF-16");
        return *utf8;
    }

  private:
    /// "Scripting.Dictionary.Count": the object and the member, for messages.
    std::string Member(std::string_view name) const {
        return progId_ + "." + base::Printable(name);
    }

    void Invoke(const std::string& doing, std::string_view name, WORD flags, DISPPARAMS& parameters,
                VARIANT* result) {
        const auto wide = win::Widen(name);
        if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
            throw Error(doing + ": " + UnknownMemberDescription(base::Printable(name)));
        }
        LPOLESTR names[] = {const_cast<LPOLESTR>(wide->c_str())};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = object_.get()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
            throw Error(doing + ": " + UnknownMemberDescription(name));
        }
        if (FAILED(hr)) throw Error(doing + ": " + win::HResultReason(hr));
        ExceptionInfo exception;
        UINT badArgument = 0;
        hr = object_.get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result,
                                   exception.Get(), &badArgument);
        if (SUCCEEDED(hr)) return;
        if (hr == DISP_E_EXCEPTION) throw Error(doing + ": " + exception.Reason());
        // What a put to a read-only property or a call of a property meets.
        if (hr == DISP_E_MEMBERNOTFOUND) throw Error(doing + ": " + UnknownMemberDescription(name));
        throw Error(doing + ": " + win::HResultReason(hr));
    }

    std::shared_ptr<ComApartment> apartment_;  // first in, last out: COM outlives the object
    ComPtr<IDispatch> object_;
    std::string progId_;
};

class ComObjectFactory : public ObjectFactory {
  public:
    ComObjectFactory() : apartment_(std::make_shared<ComApartment>()) {}

    std::unique_ptr<AdminObject> CreateObject(std::string_view progId) override {
        const std::string doing = "cannot create object " + base::Quoted(progId);
        const auto wide = win::Widen(progId);
        if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
            throw Error(doing + ": that is not a programmatic identifier");
        }
        CLSID classId{};
        HRESULT hr = CLSIDFromProgID(wide->c_str(), &classId);
        if (FAILED(hr)) {
            throw Error(doing +
                        ": no class is registered under that name: " + win::HResultReason(hr));
        }
        ComPtr<IUnknown> unknown;
        hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, reinterpret_cast<void**>(unknown.put()));
        if (FAILED(hr)) throw Error(doing + ": " + win::HResultReason(hr));
        ComPtr<IDispatch> dispatch;
        hr = unknown.get()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.put()));
        if (FAILED(hr)) {
            throw Error(doing + ": it cannot be driven by member name: " + win::HResultReason(hr));
        }
        return std::make_unique<ComObject>(apartment_, std::move(dispatch), std::string(progId));
    }

  private:
    std::shared_ptr<ComApartment> apartment_;
};

}  // namespace

ComApartment::ComApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_OK and S_FALSE both count one initialisation, to be undone once.
    if (SUCCEEDED(hr)) {
        owned_ = true;
    } else if (hr != RPC_E_CHANGED_MODE) {
        throw Error("cannot start COM on this thread: " + win::HResultReason(hr));
    }
}

ComApartment::~ComApartment() {
    if (owned_) CoUninitialize();
}

std::unique_ptr<ObjectFactory> MakeSystemObjectFactory() {
    return std::make_unique<ComObjectFactory>();
}

}  // namespace seedwell::platform
