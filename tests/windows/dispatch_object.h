#pragma once

#include <windows.h>

#include <oaidl.h>

#include <atomic>

namespace seedwell::test_support {

/// The IUnknown part and the absent type information of a test's own IDispatch class `Derived`:
/// counted from one reference, deleted as `Derived` at the last Release. `Derived` writes only
/// GetIDsOfNames and Invoke.
template <class Derived>
class DispatchObject : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
        return DISP_E_BADINDEX;
    }

  private:
    std::atomic<ULONG> references_{1};
};

}  // namespace seedwell::test_support
