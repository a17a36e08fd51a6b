#pragma once
/// The property package object: the engine's door to the host property system. It loads the
/// host property-call library, opens and closes the problem-definition file, lists components
/// and property methods, and runs single equilibrium flashes for the automation layer.
#include <memory>
#include <span>
#include <string>

#include "engine/core/class_ids.hpp"
#include "engine/core/dispatch.hpp"
#include "platform/automation.hpp"

namespace properties {

using platform::BSTR;
using platform::DOUBLE;
using platform::HRESULT;
using platform::LONG;
using platform::LONGLONG;
using platform::VARIANT;

/// The property package's automation interface (dual). Members in slot order; the dispatch ids
/// are those of PropertyPackageDispId.
struct IPropertyPackage : platform::IDispatch {
    static constexpr platform::IID iid = engine::core::IID_IPropertyPackage;

    /// 1 once a problem-definition file was opened by this object (stays 1 after closing).
    virtual HRESULT get_IsValid(LONG* pVal) = 0;
    /// Closes the problem-definition file; the argument is not used.
    virtual HRESULT CloseSimpdfFile(BSTR bstrSimpdfFile) = 0;
    /// Loads the host library and opens the file; an empty name means that the host has
    /// already initialised its property system.
    virtual HRESULT InitFromSimpdfFile(BSTR bstrSimpdfFile) = 0;
    /// Fills three 1-D arrays (lower bound 0): ids and names (strings), molar masses
    /// [kg/kmol] (doubles) of the components of the open problem.
    virtual HRESULT GetComponentList(VARIANT* vCompIds, VARIANT* vName, VARIANT* vMolwt) = 0;
    /// Fills a 1-D string array with the property method (option-set) names, at most 20.
    virtual HRESULT GetPropMethodList(VARIANT* vPropMethod) = 0;
    virtual HRESULT get_FlashMaxIter(LONG* pVal) = 0;
    virtual HRESULT put_FlashMaxIter(LONG newVal) = 0;
    virtual HRESULT get_FlashTol(DOUBLE* pVal) = 0;
    virtual HRESULT put_FlashTol(DOUBLE newVal) = 0;
    /// Returns the host index of a component id as the status value (0 when unknown).
    virtual HRESULT GetComponentId(BSTR bstrComponent) = 0;
    /// One flash of nComp components ("TVF", "TLF", "PVF", "PLF", "TP", "TH", "PH", "PV"):
    /// pdbTemp [K], pdbPressure [Pa] and pdbVFrac (vapour fraction, or enthalpy [J/kmol] for
    /// "TH" and "PH") in/out; y, x, x1, x2 get nComp values; errflg 0 on success, -1 for a call
    /// refused before the host was asked, else the host's code. Returns S_FALSE after a flash
    /// and S_OK when none was run.
    virtual HRESULT Calc_Equillibrium(BSTR bstrFlashType,
                                      LONG nPhase,
                                      BSTR bstrOpsetName,
                                      LONG nComp,
                                      LONGLONG* pnIdxVector,
                                      DOUBLE* pdbFeedComp,
                                      DOUBLE* pdbTemp,
                                      DOUBLE* pdbPressure,
                                      DOUBLE* pdbVFrac,
                                      DOUBLE* pdbY,
                                      DOUBLE* pdbX,
                                      DOUBLE* pdbBeta,
                                      DOUBLE* pdbX_1,
                                      DOUBLE* pdbX_2,
                                      LONG* errflg) = 0;
};

/// Dispatch ids of IPropertyPackage.
enum PropertyPackageDispId : platform::DISPID {
    kDispIdIsValid = 1,
    kDispIdCloseSimpdfFile = 2,
    kDispIdInitFromSimpdfFile = 3,
    kDispIdGetComponentList = 4,
    kDispIdGetPropMethodList = 5,
    kDispIdFlashMaxIter = 6,
    kDispIdFlashTol = 7,
    kDispIdGetComponentId = 8,
    kDispIdCalc_Equillibrium = 9,
};

/// Where the property package finds the host library: the library it loads, and the module it
/// borrows instead when that is already loaded. The defaults are the host's own names.
struct PropertyLibraryNames {
    std::string library = "propserve.dll";
    std::string borrowed_module = "zeTARNInp";
};

/// The property package ("PropertyPackage Class", ProgID TARNDistil.PropertyPackage). Not
/// final: the module's class factory derives the aggregated form of the class from it.
class CPropertyPackage
    : public platform::ComObject<CPropertyPackage, IPropertyPackage, platform::ISupportErrorInfo> {
public:
    static constexpr platform::CLSID clsid = engine::core::CLSID_PropertyPackage;

    CPropertyPackage();
    explicit CPropertyPackage(PropertyLibraryNames names);

    HRESULT get_IsValid(LONG* pVal) override;
    HRESULT CloseSimpdfFile(BSTR bstrSimpdfFile) override;
    HRESULT InitFromSimpdfFile(BSTR bstrSimpdfFile) override;
    HRESULT GetComponentList(VARIANT* vCompIds, VARIANT* vName, VARIANT* vMolwt) override;
    HRESULT GetPropMethodList(VARIANT* vPropMethod) override;
    HRESULT get_FlashMaxIter(LONG* pVal) override;
    HRESULT put_FlashMaxIter(LONG newVal) override;
    HRESULT get_FlashTol(DOUBLE* pVal) override;
    HRESULT put_FlashTol(DOUBLE newVal) override;
    HRESULT GetComponentId(BSTR bstrComponent) override;
    HRESULT Calc_Equillibrium(BSTR bstrFlashType,
                              LONG nPhase,
                              BSTR bstrOpsetName,
                              LONG nComp,
                              LONGLONG* pnIdxVector,
                              DOUBLE* pdbFeedComp,
                              DOUBLE* pdbTemp,
                              DOUBLE* pdbPressure,
                              DOUBLE* pdbVFrac,
                              DOUBLE* pdbY,
                              DOUBLE* pdbX,
                              DOUBLE* pdbBeta,
                              DOUBLE* pdbX_1,
                              DOUBLE* pdbX_2,
                              LONG* errflg) override;

    // ISupportErrorInfo: IPropertyPackage leaves error information on failure.
    HRESULT InterfaceSupportsErrorInfo(platform::REFIID riid) override;

    // IDispatch over the member table of IPropertyPackage (dispatch_members()).
    HRESULT GetTypeInfoCount(platform::UINT* pctinfo) override;
    HRESULT GetTypeInfo(platform::UINT iTInfo,
                        platform::LCID lcid,
                        platform::ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(platform::REFIID riid,
                          platform::LPOLESTR* rgszNames,
                          platform::UINT cNames,
                          platform::LCID lcid,
                          platform::DISPID* rgDispId) override;
    HRESULT Invoke(platform::DISPID dispIdMember,
                   platform::REFIID riid,
                   platform::LCID lcid,
                   platform::WORD wFlags,
                   platform::DISPPARAMS* pDispParams,
                   VARIANT* pVarResult,
                   platform::EXCEPINFO* pExcepInfo,
                   platform::UINT* puArgErr) override;

protected:
    friend platform::detail::
        ComObjectBase<true, CPropertyPackage, IPropertyPackage, platform::ISupportErrorInfo>;
    ~CPropertyPackage() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The late-binding table of IPropertyPackage, in member order. Two members take plain memory
/// in process and are carried differently by late binding: GetComponentId returns the component's
/// index as the call's result (the interface returns it as the status value); Calc_Equillibrium
/// takes pnIdxVector and pdbFeedComp as arrays of at least nComp numbers, pdbTemp, pdbPressure
/// and pdbVFrac as references to doubles (or variants), and hands pdbY, pdbX, pdbX_1 and pdbX_2
/// back as arrays of nComp doubles in the variants they refer to.
std::span<const engine::core::dispatch::Member> dispatch_members() noexcept;

/// Creates a property package and queries `riid` into *ppv (the class's creator).
HRESULT create_property_package(platform::REFIID riid, void** ppv) noexcept;
/// The same with other library names (a host installed under other names).
HRESULT create_property_package(platform::REFIID riid,
                                void** ppv,
                                const PropertyLibraryNames& names) noexcept;

}  // namespace properties
