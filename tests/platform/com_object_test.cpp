#include "platform/com_object.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

// A dual interface and a plain one, as the engine's objects have.
struct ICounter : IDispatch {
    static constexpr IID iid = make_guid("3b1c2d4e-0000-4000-8000-00000000c0de");
    virtual HRESULT Next(LONG* value) = 0;
};
struct IReset : IUnknown {
    static constexpr IID iid = make_guid("3b1c2d4e-0000-4000-8000-00000000c0df");
    virtual HRESULT Reset() = 0;
};

int g_destroyed = 0;

class CCounter : public ComObject<CCounter, ICounter, IReset, ISupportErrorInfo> {
public:
    explicit CCounter(HRESULT construct_result = S_OK) : construct_result_(construct_result) {}
    ~CCounter() override { ++g_destroyed; }
    HRESULT FinalConstruct() override { return construct_result_; }

    HRESULT Next(LONG* value) override {
        *value = ++count_;
        return S_OK;
    }
    HRESULT Reset() override {
        count_ = 0;
        return S_OK;
    }
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, ICounter::iid) ? S_OK : S_FALSE;
    }
    HRESULT GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    HRESULT construct_result_;
    LONG count_ = 0;
};

HRESULT create_failing(REFIID riid, void** ppv) {
    return create_instance<CCounter>(riid, ppv, E_TARN_INSTANTIATION);
}

}  // namespace

TEST(ComObject, QueryInterfaceFollowsTheIdentityRules) {
    const long objects_before = module_object_count();
    CComPtr<ICounter> counter;
    ASSERT_EQ(create_instance<CCounter>(ICounter::iid, counter.out_void()), S_OK);
    EXPECT_EQ(module_object_count(), objects_before + 1);

    CComPtr<IReset> reset;
    ASSERT_EQ(counter->QueryInterface(IReset::iid, reset.out_void()), S_OK);
    // IUnknown is the same pointer whichever interface it is asked from.
    CComPtr<IUnknown> unk1, unk2;
    ASSERT_EQ(counter->QueryInterface(IID_IUnknown, unk1.out_void()), S_OK);
    ASSERT_EQ(reset->QueryInterface(IID_IUnknown, unk2.out_void()), S_OK);
    EXPECT_EQ(unk1.get(), unk2.get());
    // The dual interface answers for IDispatch.
    CComPtr<IDispatch> disp;
    ASSERT_EQ(reset->QueryInterface(IID_IDispatch, disp.out_void()), S_OK);
    EXPECT_EQ(static_cast<void*>(disp.get()), static_cast<void*>(counter.get()));

    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(counter->QueryInterface(IID_IErrorInfo, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(counter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    LONG v = 0;
    counter->Next(&v);
    counter->Next(&v);
    reset->Reset();
    counter->Next(&v);
    EXPECT_EQ(v, 1);  // both interfaces reach one object

    const int destroyed_before = g_destroyed;
    counter.Release();
    reset.Release();
    unk1.Release();
    unk2.Release();
    EXPECT_EQ(g_destroyed, destroyed_before);  // disp still holds it
    disp.Release();
    EXPECT_EQ(g_destroyed, destroyed_before + 1);
    EXPECT_EQ(module_object_count(), objects_before);
}

TEST(ComObject, FailedSecondConstructionStepDestroysTheObject) {
    const int destroyed_before = g_destroyed;
    const long objects_before = module_object_count();
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(create_failing(ICounter::iid, &p), E_TARN_INSTANTIATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g_destroyed, destroyed_before + 1);
    EXPECT_EQ(module_object_count(), objects_before);
}

TEST(ComObject, ClassFactoryCreatesRefusesAggregationAndLocksTheModule) {
    ASSERT_EQ(module_can_unload_now(), S_OK);
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(
        create_instance<ClassFactory>(IID_IClassFactory, factory.out_void(), &creator_of<CCounter>),
        S_OK);
    EXPECT_EQ(module_can_unload_now(), S_OK);  // a factory alone does not keep the module

    CComPtr<ICounter> counter;
    ASSERT_EQ(factory->CreateInstance(nullptr, ICounter::iid, counter.out_void()), S_OK);
    EXPECT_EQ(module_can_unload_now(), S_FALSE);
    counter.Release();
    EXPECT_EQ(module_can_unload_now(), S_OK);

    CComPtr<IUnknown> outer;
    ASSERT_EQ(create_instance<CCounter>(IID_IUnknown, outer.out_void()), S_OK);
    void* p = nullptr;
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    outer.Release();

    factory->LockServer(1);
    EXPECT_EQ(module_can_unload_now(), S_FALSE);
    factory->LockServer(0);
    EXPECT_EQ(module_can_unload_now(), S_OK);
}

TEST(ComObject, ReferenceCountIsSafeAcrossThreads) {
    const int destroyed_before = g_destroyed;
    CComPtr<ICounter> counter;
    ASSERT_EQ(create_instance<CCounter>(ICounter::iid, counter.out_void()), S_OK);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([p = counter.get()] {
            for (int k = 0; k < 20000; ++k) {
                p->AddRef();
                p->Release();
            }
        });
    }
    for (auto& t : threads) { t.join(); }
    EXPECT_EQ(g_destroyed, destroyed_before);
    EXPECT_EQ(counter->AddRef(), 2u);
    EXPECT_EQ(counter->Release(), 1u);
    counter.Release();
    EXPECT_EQ(g_destroyed, destroyed_before + 1);
}
