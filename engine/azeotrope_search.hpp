#pragma once
/// The azeotrope search object ("AzeotropeSearch Class", ProgID TARNDistil.AzeotropeSearch):
/// the singular points of a mixture at one pressure, the pure components with their boiling
/// temperatures and stability, and every azeotrope with its composition, boiling temperature,
/// phase state and stability. It holds the problem (component index vector, pressure, option
/// set, phase count) and owns every result buffer.
///
/// Calling order: SetComponentData or SetIdxVector, SetPropertyData, Pressure, GetPureProperties
/// (which sizes every buffer for the current component count), ComputeAzeotropes, then
/// GetAzeotropes or the three pointer properties. ComputeAzeotropes and GetAzeotropes before any
/// GetPureProperties for the current count size the buffers themselves.
#include <cstdint>
#include <memory>
#include <span>

#include "engine/detail/connection_points.hpp"
#include "engine/detail/dispatch_names.hpp"
#include "engine/interfaces.hpp"

namespace engine {

/// Not final: the module's class factory derives the aggregated form of the class from it.
class CAzeotropeSearch : public platform::ComObject<CAzeotropeSearch,
                                                    IAzeotropeSearch,
                                                    platform::ISupportErrorInfo,
                                                    platform::IConnectionPointContainer> {
public:
    static constexpr platform::CLSID clsid = core::CLSID_AzeotropeSearch;
    /// Azeotropes the result buffers hold.
    static constexpr std::int64_t kCapacity = 100;

    CAzeotropeSearch();

    HRESULT ComputeAzeotropes() override;
    HRESULT get_Pressure(DOUBLE* pVal) override;
    HRESULT put_Pressure(DOUBLE newVal) override;
    HRESULT GetAzeotropes(LONG* nAzeotropes,
                          VARIANT* vAzeotropes,
                          VARIANT* vTemperature,
                          VARIANT* vPhase,
                          VARIANT* vStability) override;
    HRESULT GetPureProperties(VARIANT* vComposition,
                              VARIANT* vTemperature,
                              VARIANT* vStability) override;
    HRESULT SetComponentData(VARIANT vComponents) override;
    HRESULT SetIdxVector(LONGLONG nComp, LONGLONG* IdxVector) override;
    HRESULT SetPropertyData(BSTR bstrOpset,
                            BSTR bstrVLEModel,
                            BSTR bstrLLEModel,
                            LONG nPhase) override;
    HRESULT get_NoAzeotropes(LONG* pVal) override;
    HRESULT get_CompositionMatrix(DOUBLE** pVal) override;
    HRESULT get_StabilityIndex(LONGLONG** pVal) override;
    HRESULT get_BPTemperatures(DOUBLE** pVal) override;

    HRESULT InterfaceSupportsErrorInfo(platform::REFIID riid) override;
    ENGINE_DISPATCH_DECLARATIONS
    ENGINE_CONNECTION_POINT_DECLARATIONS

    // In-process views that the automation interface does not carry.

    /// Number of components of the current problem.
    std::int64_t component_count() const noexcept;
    /// The component index vector (empty when none is set).
    std::span<const std::int64_t> component_indices() const noexcept;
    /// The error indicator of the last search or pure-component calculation: 0 success; the
    /// search's 1 (search failed, message 509) or 2 (classification failed, message 510).
    std::int64_t error_indicator() const noexcept;
    /// Components present in each azeotrope of the last search (NoAzeotropes entries).
    std::span<const std::int64_t> azeotrope_component_counts() const noexcept;
    /// K-values near each pure component: (i, j) at j n + i, K of component i in nearly pure j.
    std::span<const double> k_infinite() const noexcept;
    /// Whether the singular-point buffers describe `n` components of the current problem: they
    /// were sized for n by GetPureProperties or a search, and the components have not changed
    /// since. With `searched`, also that a search has filled the azeotropes.
    bool singular_points_valid(std::int64_t n, bool searched) const noexcept;

protected:
    friend platform::detail::ComObjectBase<true,
                                           CAzeotropeSearch,
                                           IAzeotropeSearch,
                                           platform::ISupportErrorInfo,
                                           platform::IConnectionPointContainer>;
    ~CAzeotropeSearch() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    detail::EventSource events_{_IAzeotropeSearchEvents::iid};
};

}  // namespace engine
