#pragma once
/// Identities of the engine's automation classes, interfaces and type library. Clients create
/// the classes and query the interfaces by these values, so they never change.
#include <array>
#include <string_view>

#include "platform/guid.hpp"

namespace engine::core {

using platform::make_guid;

inline constexpr platform::GUID LIBID_TARNDISTILLib =
    make_guid("d63c0538-4270-4636-8133-b2a6a0182598");
inline constexpr std::string_view kTypeLibraryVersion = "38.0";
inline constexpr std::string_view kTypeLibraryHelp = "TARNDistil 38.0 Type Library";

inline constexpr platform::CLSID CLSID_Distil = make_guid("7d25b338-5cfa-48c0-9568-34bd4a00988d");
inline constexpr platform::CLSID CLSID_PropertyPackage =
    make_guid("76cfb638-45f0-4084-8ad4-6dfd83130c1d");
inline constexpr platform::CLSID CLSID_DistillationMap =
    make_guid("1c5d7938-fcef-4dc5-9345-754e3de72528");
inline constexpr platform::CLSID CLSID_AzeotropeSearch =
    make_guid("90b72f38-9eb7-4ec5-9b7c-5fdab8ddc734");

inline constexpr platform::IID IID_IDistil = make_guid("5f1a2438-2b46-4b94-9b79-98178f26efab");
inline constexpr platform::IID IID_IAzeotropeSearch =
    make_guid("4cae1838-fe00-4e89-a365-6a1fba54f877");
inline constexpr platform::IID IID_IDistillationMap =
    make_guid("d5b13938-d0d1-42b9-bd20-b85459c93aff");
inline constexpr platform::IID IID_IPropertyPackage =
    make_guid("7f8d1638-7163-4f28-9190-76e8863ced5b");
inline constexpr platform::IID DIID__IDistilEvents =
    make_guid("1c5d8638-7e1c-48e6-8c9c-8f46d2f337a3");
inline constexpr platform::IID DIID__IDistillationMapEvents =
    make_guid("344c1938-c2c7-4cb1-9021-bb453acb4363");
inline constexpr platform::IID DIID__IAzeotropeSearchEvents =
    make_guid("dcbb2138-bdc7-4968-848a-e5f98d278aea");

/// One creatable class: identity, ProgIDs as registered ("<version independent>.38.0" is the
/// class's registered ProgID) and help string.
struct ClassIdentity {
    platform::CLSID clsid;
    std::string_view prog_id;
    std::string_view version_independent_prog_id;
    std::string_view help_string;
};

inline constexpr std::array<ClassIdentity, 4> kEngineClasses{{
    {CLSID_Distil, "TARNDistil.Distil.38.0", "TARNDistil.Distil", "Distil Class"},
    {CLSID_PropertyPackage, "TARNDistil.PropertyPackage.38.0", "TARNDistil.PropertyPackage",
     "PropertyPackage Class"},
    {CLSID_DistillationMap, "TARNDistil.DistillationMap.38.0", "TARNDistil.DistillationMap",
     "DistillationMap Class"},
    {CLSID_AzeotropeSearch, "TARNDistil.AzeotropeSearch.38.0", "TARNDistil.AzeotropeSearch",
     "AzeotropeSearch Class"},
}};

}  // namespace engine::core
