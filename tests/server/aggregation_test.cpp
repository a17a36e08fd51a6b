// Aggregation through the module's class factories, and the event interfaces of the classes as
// connection points that accept sinks but never fire.
#include <gtest/gtest.h>

#include <array>

#include "engine/azeotrope_search.hpp"
#include "engine/distil.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"
#include "engine/module_entry_points.h"
#include "server_test_support.hpp"

namespace server::testing {
namespace {

using namespace platform;

/// The outer object's own interface.
struct IOuter : IUnknown {
    static constexpr IID iid = make_guid("a1b2c3d4-0000-4000-8000-000000000001");
    virtual int tag() = 0;
};

/// An object that aggregates an engine object: it answers its own interface and hands every
/// other request to the inner object, whose non-delegating IUnknown it holds.
class Outer final : public ComObjectNoLock<Outer, IOuter> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        const HRESULT hr =
            platform::detail::ComObjectBase<false, Outer, IOuter>::QueryInterface(riid, ppv);
        if (hr != E_NOINTERFACE || !inner) { return hr; }
        return inner->QueryInterface(riid, ppv);
    }
    int tag() override { return 42; }
    /// The reference count, read by one AddRef and Release.
    ULONG references() {
        AddRef();
        return Release();
    }
    CComPtr<IUnknown> inner;

private:
    friend platform::detail::ComObjectBase<false, Outer, IOuter>;
    ~Outer() override = default;
};

/// A sink of one event interface (a dispatch interface without members).
template <class Events>
class Sink final : public ComObjectNoLock<Sink<Events>, Events> {
public:
    HRESULT GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        ADD_FAILURE() << "no event is ever fired";
        return DISP_E_MEMBERNOTFOUND;
    }
    ULONG references() {
        this->AddRef();
        return this->Release();
    }

private:
    friend platform::detail::ComObjectBase<false, Sink<Events>, Events>;
    ~Sink() override = default;
};

template <class T, class... Args>
CComPtr<T> make(Args&&... args) {
    CComPtr<T> p;
    EXPECT_EQ(create_instance<T>(T::iid, p.out_void(), std::forward<Args>(args)...), S_OK);
    return p;
}

TEST(Aggregation, GivesTheOuterObjectOneIdentityAndOneReferenceCount) {
    const long objects_before = module_object_count();
    struct Class {
        CLSID clsid;
        IID iid;
    };
    const std::array<Class, 4> classes{{
        {engine::core::CLSID_Distil, engine::IDistil::iid},
        {engine::core::CLSID_DistillationMap, engine::IDistillationMap::iid},
        {engine::core::CLSID_AzeotropeSearch, engine::IAzeotropeSearch::iid},
        {engine::core::CLSID_PropertyPackage, engine::IPropertyPackage::iid},
    }};
    for (const Class& c : classes) {
        CComPtr<IClassFactory> factory;
        ASSERT_EQ(DllGetClassObject(c.clsid, IClassFactory::iid, factory.out_void()), S_OK);
        Outer* outer_object = nullptr;
        CComPtr<IOuter> outer;
        ASSERT_EQ(create_instance<Outer>(IOuter::iid, outer.out_void()), S_OK);
        outer_object = static_cast<Outer*>(outer.get());
        // Aggregation hands out the inner object's own IUnknown, nothing else.
        CComPtr<IUnknown> refused;
        EXPECT_EQ(factory->CreateInstance(outer.get(), c.iid, refused.out_void()),
                  CLASS_E_NOAGGREGATION);
        ASSERT_EQ(
            factory->CreateInstance(outer.get(), IID_IUnknown, outer_object->inner.out_void()),
            S_OK);
        const ULONG alone = outer_object->references();

        // The engine's interface through the outer object; its IUnknown is the outer one, and
        // every reference taken through it counts on the outer object.
        CComPtr<IUnknown> own;
        ASSERT_EQ(outer->QueryInterface(c.iid, own.out_void()), S_OK);
        EXPECT_EQ(outer_object->references(), alone + 1);
        CComPtr<IUnknown> identity, back;
        ASSERT_EQ(own->QueryInterface(IID_IUnknown, identity.out_void()), S_OK);
        ASSERT_EQ(outer->QueryInterface(IID_IUnknown, back.out_void()), S_OK);
        EXPECT_EQ(identity.get(), back.get());
        CComPtr<IOuter> again;
        ASSERT_EQ(own->QueryInterface(IOuter::iid, again.out_void()), S_OK);
        EXPECT_EQ(again->tag(), 42);
        CComPtr<ISupportErrorInfo> support;
        ASSERT_EQ(own->QueryInterface(ISupportErrorInfo::iid, support.out_void()), S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(c.iid), S_OK);

        // The aggregated object works, also by late binding.
        CComPtr<IDispatch> dispatch;
        ASSERT_EQ(own->QueryInterface(IID_IDispatch, dispatch.out_void()), S_OK);
        EXPECT_EQ(LateBound(dispatch.get()).id(u"GetTypeInfoCount"), DISPID_UNKNOWN);
        if (c.clsid == engine::core::CLSID_DistillationMap) {
            EXPECT_EQ(LateBound(dispatch.get()).get(u"StepSizeCurve").result.dblVal, 0.3);
        }
        if (c.clsid == engine::core::CLSID_Distil) {
            const Invoked map = LateBound(dispatch.get()).get(u"DistillationMap");
            EXPECT_EQ(map.result.vt, VT_DISPATCH);
        }
    }
    // Releasing the outer objects released the inner ones and everything they made.
    EXPECT_EQ(module_object_count(), objects_before);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(EventInterfaces, AreConnectionPointsThatTakeSinksAndNeverFire) {
    const long objects_before = module_object_count();
    {
        CComPtr<engine::IDistil> root;
        ASSERT_EQ(engine::create_engine_object(engine::core::CLSID_Distil, engine::IDistil::iid,
                                               root.out_void()),
                  S_OK);
        CComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(root->QueryInterface(IConnectionPointContainer::iid, container.out_void()), S_OK);
        CComPtr<IConnectionPoint> point, none;
        EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, none.out()),
                  CONNECT_E_NOCONNECTION);
        ASSERT_EQ(container->FindConnectionPoint(engine::_IDistilEvents::iid, point.out()), S_OK);
        IID iid{};
        ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
        EXPECT_EQ(iid, make_guid("1c5d8638-7e1c-48e6-8c9c-8f46d2f337a3"));
        CComPtr<IConnectionPointContainer> owner;
        ASSERT_EQ(point->GetConnectionPointContainer(owner.out()), S_OK);
        EXPECT_EQ(owner.get(), container.get());

        // A sink of the event interface is held until it unadvises; another is refused.
        const auto sink = make<Sink<engine::_IDistilEvents>>();
        auto* sink_object = static_cast<Sink<engine::_IDistilEvents>*>(sink.get());
        const ULONG before = sink_object->references();
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
        EXPECT_NE(cookie, 0u);
        EXPECT_EQ(sink_object->references(), before + 1);
        const auto other = make<Sink<engine::_IDistillationMapEvents>>();
        DWORD refused = 7;
        EXPECT_EQ(hresult_bits(point->Advise(other.get(), &refused)), 0x80040202u);
        EXPECT_EQ(refused, 0u);
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
        EXPECT_EQ(sink_object->references(), before);
        EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);

        // One point to enumerate.
        CComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(container->EnumConnectionPoints(points.out()), S_OK);
        std::array<IConnectionPoint*, 2> got{};
        ULONG fetched = 9;
        EXPECT_EQ(points->Next(2, got.data(), &fetched), S_FALSE);
        ASSERT_EQ(fetched, 1u);
        got[0]->GetConnectionInterface(&iid);
        EXPECT_EQ(iid, engine::_IDistilEvents::iid);
        got[0]->Release();
        EXPECT_EQ(points->Next(1, got.data(), &fetched), S_FALSE);
        EXPECT_EQ(fetched, 0u);
        EXPECT_EQ(points->Reset(), S_OK);
        EXPECT_EQ(points->Skip(1), S_OK);
        EXPECT_EQ(points->Skip(1), S_FALSE);
        CComPtr<IEnumConnectionPoints> copy;
        ASSERT_EQ(points->Clone(copy.out()), S_OK);
        EXPECT_EQ(copy->Next(1, got.data(), &fetched), S_FALSE) << "the copy is at the end too";

        // A sink still connected when the object goes is released with it.
        ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
        point.Release();
        owner.Release();
        container.Release();
        points.Release();
        copy.Release();
        root.Release();
        EXPECT_EQ(sink_object->references(), before);
    }
    // The map and the search have theirs; the property package declares none.
    for (const auto& [clsid, events] :
         {std::pair{engine::core::CLSID_DistillationMap, engine::_IDistillationMapEvents::iid},
          std::pair{engine::core::CLSID_AzeotropeSearch, engine::_IAzeotropeSearchEvents::iid}}) {
        CComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(engine::create_engine_object(clsid, IConnectionPointContainer::iid,
                                               container.out_void()),
                  S_OK);
        CComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(events, point.out()), S_OK);
    }
    CComPtr<IConnectionPointContainer> package;
    EXPECT_EQ(engine::create_engine_object(engine::core::CLSID_PropertyPackage,
                                           IConnectionPointContainer::iid, package.out_void()),
              E_NOINTERFACE);
    EXPECT_EQ(module_object_count(), objects_before);
}

}  // namespace
}  // namespace server::testing
