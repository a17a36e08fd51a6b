#pragma once
/// The engine's root object ("Distil Class", ProgID TARNDistil.Distil): the object a client
/// creates first. It creates one property package, one distillation map and one azeotrope
/// search, holds them for its lifetime and publishes the property package and the azeotrope
/// search process-wide (module.hpp); it opens and closes the problem-definition file through the
/// property package and switches the trace on.
#include <memory>

#include "engine/detail/connection_points.hpp"
#include "engine/detail/dispatch_names.hpp"
#include "engine/interfaces.hpp"

namespace engine {

/// Not final: the module's class factory derives the aggregated form of the class from it.
class CDistil : public platform::ComObject<CDistil,
                                           IDistil,
                                           platform::ISupportErrorInfo,
                                           platform::IConnectionPointContainer> {
public:
    static constexpr platform::CLSID clsid = core::CLSID_Distil;

    /// Releases a global property package left by an earlier root object.
    CDistil();
    /// Creates the three objects and publishes two of them; a failure (status 0x8004027C)
    /// fails the creation of the root object.
    HRESULT FinalConstruct() override;

    HRESULT get_AzeotropeSearch(IAzeotropeSearch** pVal) override;
    HRESULT get_DistillationMap(IDistillationMap** pVal) override;
    HRESULT get_PropertyPackage(IPropertyPackage** pVal) override;
    HRESULT CloseSimpdfFile() override;
    HRESULT InitFromSimpdfFile(BSTR bstrSimpdfFile) override;
    HRESULT SetLogFile(BSTR fname) override;
    HRESULT get_OperatingSystem(LONG* pVal) override;

    HRESULT InterfaceSupportsErrorInfo(platform::REFIID riid) override;
    ENGINE_DISPATCH_DECLARATIONS
    ENGINE_CONNECTION_POINT_DECLARATIONS

    /// The path of the problem-definition file last handed to InitFromSimpdfFile (null when
    /// none was, empty after CloseSimpdfFile).
    BSTR current_file() const noexcept;

protected:
    friend platform::detail::ComObjectBase<true,
                                           CDistil,
                                           IDistil,
                                           platform::ISupportErrorInfo,
                                           platform::IConnectionPointContainer>;
    /// Clears both global pointers, also when another root object is still alive.
    ~CDistil() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    detail::EventSource events_{_IDistilEvents::iid};
};

}  // namespace engine
