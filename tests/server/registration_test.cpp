// The class registry: its file, the registrar's script language, the module's registration
// (compared with the published keys and values of the four classes and the type library, typed
// out here from the class identities, not read from the scripts), activation by ProgID and class
// identity, the unload count, and the map's lookup of the root class.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "engine/distillation_map.hpp"
#include "engine/module.hpp"
#include "engine/module_entry_points.h"
#include "server/activation.hpp"
#include "server/registrar.hpp"
#include "server/registry.hpp"
#include "server_test_support.hpp"

namespace server::testing {
namespace {

using namespace platform;

std::string file_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::filesystem::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary) << text;
}

/// Restores an environment variable when it goes.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) { old_ = old; }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

/// The message of the exception `f` throws (empty when it throws none).
template <class Error, class F>
std::string error_of(F f) {
    try {
        f();
    } catch (const Error& e) { return e.what(); }
    return {};
}

TEST(RegistryFile, KeepsKeysAndValuesExactlyAndRefusesMalformedFilesWithTheirLine) {
    Registry r;
    r.set_value("HKCR\\Some.Class", "", "Some \"quoted\" text\\ with a backslash");
    r.set_value("HKEY_CLASSES_ROOT\\some.class\\Detail", "Odd \"Name\"",
                "line 1\nline 2\x01 \xc2\xb5");
    r.create_key("HKLM\\Software\\Empty");
    const std::filesystem::path file = scratch() / "roundtrip" / "registry";
    r.save(file);
    const Registry back = Registry::load(file);
    EXPECT_EQ(back, r);
    EXPECT_EQ(back.value("hkey_classes_root\\SOME.CLASS"),
              "Some \"quoted\" text\\ with a backslash")
        << "names ignore case";
    EXPECT_EQ(back.value("HKCR\\Some.Class\\Detail", "odd \"NAME\""),
              "line 1\nline 2\x01 \xc2\xb5");
    // Keys keep the case they were first written with; every key has its section.
    EXPECT_EQ(back.keys(),
              (std::vector<std::string>{
                  "HKEY_CLASSES_ROOT\\Some.Class", "HKEY_CLASSES_ROOT\\Some.Class\\Detail",
                  "HKEY_LOCAL_MACHINE\\Software", "HKEY_LOCAL_MACHINE\\Software\\Empty"}));
    EXPECT_TRUE(back.key_is_empty("HKLM\\Software\\Empty"));
    Registry changed = back;
    EXPECT_TRUE(changed.delete_tree("HKCR\\SOME.CLASS"));
    EXPECT_FALSE(changed.delete_tree("HKCR\\Some.Class"));
    EXPECT_FALSE(changed.key_exists("HKCR\\Some.Class\\Detail"));
    EXPECT_TRUE(changed.delete_value("HKLM\\Software\\Empty") == false);
    EXPECT_NE(changed, back);

    // Nothing at all is an empty registry: a missing file, or an empty one.
    EXPECT_TRUE(Registry::load(scratch() / "nowhere").keys().empty());
    write_file(scratch() / "empty", "");
    EXPECT_TRUE(Registry::load(scratch() / "empty").keys().empty());

    // Malformed files are refused with the file's name and line.
    const std::vector<std::pair<std::string, std::string>> bad{
        {"[HKEY_CLASSES_ROOT\\A]\n", "bad:1: not a registry file"},
        {"TARNDistil registry 1\n@=\"x\"\n", "bad:2: a value before the first key"},
        {"TARNDistil registry 1\n[HKCR\\A]\n\"n\"=\"unterminated\n", "bad:3: unterminated"},
        {"TARNDistil registry 1\n[HKCR\\A]\n@=\"a\\qb\"\n", "bad:3: unknown escape"},
        {"TARNDistil registry 1\n[HKCR\\A]\n@=\"a\"\n@=\"b\"\n", "bad:4: value given twice"},
        {"TARNDistil registry 1\n\n[HKEY_NOWHERE\\A]\n", "bad:3: registry path"},
        {"TARNDistil registry 1\n[HKCR\\A\\\\B]\n", "bad:2: empty key name"},
        {"TARNDistil registry 1\n[HKCR\\A]\n@=\"a\" trailing\n", "bad:3: text after the value"},
    };
    for (const auto& [text, message] : bad) {
        const std::string what = error_of<RegistryError>([&] { Registry::parse(text, "bad"); });
        EXPECT_EQ(what.substr(0, message.size()), message) << what;
    }
    // Names that would break the file are refused before they get there.
    EXPECT_FALSE(error_of<RegistryError>([&] { r.set_value("HKCR\\A", "new\nline", ""); }).empty());
    EXPECT_FALSE(error_of<RegistryError>([&] { r.create_key("HKCR\\A\\\\B"); }).empty());
    EXPECT_FALSE(error_of<RegistryError>([&] { r.delete_tree("HKCR"); }).empty());
}

TEST(RegistryFile, LivesWhereTheEnvironmentSaysWithAPerUserDefault) {
    {
        const ScopedEnvironment file("TARNDISTIL_REGISTRY", "/somewhere/registry");
        EXPECT_EQ(Registry::default_location(), "/somewhere/registry");
    }
    const ScopedEnvironment file("TARNDISTIL_REGISTRY", nullptr);
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", "/home/u/cfg");
        EXPECT_EQ(Registry::default_location(), "/home/u/cfg/tarndistil/registry");
    }
    const ScopedEnvironment config("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
    {
        const ScopedEnvironment home("HOME", "/home/u");
        EXPECT_EQ(Registry::default_location(), "/home/u/.config/tarndistil/registry");
    }
    const ScopedEnvironment home("HOME", nullptr);
    EXPECT_FALSE(error_of<RegistryError>([] { Registry::default_location(); }).empty());
}

TEST(Registrar, RegistersAndUnregistersExactlyWhatTheScriptSays) {
    constexpr std::string_view kScript = R"(
HKCR
{
    My.Thing.%VERSION% = s 'My ''quoted'' Thing'
    {
        CLSID = s '{%CLSID%}'
    }
    NoRemove Shared
    {
        ForceRemove {%CLSID%} = s '100%% sure'
        {
            'Name With Blanks'
            InprocServer32 = s '%MODULE%'
            {
                VAL ThreadingModel = s 'Apartment'
            }
        }
    }
}
)";
    const std::vector<ReplacementVariable> variables{
        {"VERSION", "2.5"}, {"CLSID", "0000abcd-0000-0000-0000-000000000001"}, {"MODULE", "/m.so"}};
    Registry r;
    // Someone else's entries: a value beside ours, a key under the shared one, and a key under
    // the one this script owns whole.
    r.set_value("HKCR\\My.Thing.2.5", "Other", "kept");
    r.set_value("HKCR\\Shared\\Foreign", "", "kept");
    r.set_value("HKCR\\Shared\\{0000abcd-0000-0000-0000-000000000001}\\Stale", "", "dropped");
    const Registry before = r;
    run_registry_script(r, kScript, "thing.rgs", variables, RegistrarAction::register_keys);
    const std::string clsid_key =
        "HKEY_CLASSES_ROOT\\Shared\\{0000abcd-0000-0000-0000-000000000001}";
    EXPECT_EQ(r.values(), (std::vector<RegistryValue>{
                              {"HKEY_CLASSES_ROOT\\My.Thing.2.5", "", "My 'quoted' Thing"},
                              {"HKEY_CLASSES_ROOT\\My.Thing.2.5", "Other", "kept"},
                              {"HKEY_CLASSES_ROOT\\My.Thing.2.5\\CLSID", "",
                               "{0000abcd-0000-0000-0000-000000000001}"},
                              {"HKEY_CLASSES_ROOT\\Shared\\Foreign", "", "kept"},
                              {clsid_key, "", "100% sure"},
                              {clsid_key + "\\InprocServer32", "", "/m.so"},
                              {clsid_key + "\\InprocServer32", "ThreadingModel", "Apartment"},
                          }));
    EXPECT_TRUE(r.key_exists(clsid_key + "\\Name With Blanks"));
    EXPECT_FALSE(r.key_exists(clsid_key + "\\Stale")) << "ForceRemove rewrites the key whole";

    // Unregistration: our values and keys go, someone else's stay (with the keys that hold
    // them); the shared key is never removed.
    run_registry_script(r, kScript, "thing.rgs", variables, RegistrarAction::unregister_keys);
    Registry expected = before;
    expected.delete_tree(clsid_key);
    EXPECT_EQ(r, expected);
    EXPECT_EQ(r.values().size(), 2u);

    // Faults in a script: named with the script and line, and nothing is changed.
    const std::vector<std::pair<std::string, std::string>> bad{
        {"HKCR\n{\n  A = s '%NOPE%'\n}\n", "bad.rgs:3: unknown replacement variable %NOPE%"},
        {"HKCR\n{\n  A = d '1'\n}\n", "bad.rgs:3: value type 'd' is not supported"},
        {"HKCR\n{\n  A = s 'x'\n", "bad.rgs:4: missing '}'"},
        {"HKCR\n{\n  A = s 'x\n}\n", "bad.rgs:3: unterminated quoted text"},
        {"HKCR\n{\n  val = s 'x'\n}\n", "bad.rgs:3: expected a value name"},
        {"Nowhere\n{\n  A\n}\n", "bad.rgs: unknown root key 'Nowhere'"},
        {"HKCR\n{\n  B\n  'A\\B'\n}\n", "bad.rgs:4: invalid character in name"},
    };
    for (const auto& [text, message] : bad) {
        Registry untouched = before;
        const std::string what = error_of<ScriptError>([&] {
            run_registry_script(untouched, text, "bad.rgs", variables,
                                RegistrarAction::register_keys);
        });
        EXPECT_EQ(what.substr(0, message.size()), message) << what;
        EXPECT_EQ(untouched, before) << message;
    }
}

/// The full path of the engine module, as registration writes it.
std::string module_path() {
    Dl_info info{};
    EXPECT_NE(::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info), 0);
    return std::filesystem::canonical(info.dli_fname).string();
}

/// Every value the module's registration writes, typed out from the published identities.
std::set<std::tuple<std::string, std::string, std::string>> expected_registration(
    const std::string& module) {
    std::set<std::tuple<std::string, std::string, std::string>> v;
    const std::string libid = "{d63c0538-4270-4636-8133-b2a6a0182598}";
    const std::array<std::pair<std::string, std::string>, 4> classes{{
        {"Distil", "{7d25b338-5cfa-48c0-9568-34bd4a00988d}"},
        {"PropertyPackage", "{76cfb638-45f0-4084-8ad4-6dfd83130c1d}"},
        {"DistillationMap", "{1c5d7938-fcef-4dc5-9345-754e3de72528}"},
        {"AzeotropeSearch", "{90b72f38-9eb7-4ec5-9b7c-5fdab8ddc734}"},
    }};
    const std::string root = "HKEY_CLASSES_ROOT\\";
    for (const auto& [name, clsid] : classes) {
        const std::string prog = "TARNDistil." + name, versioned = prog + ".38.0";
        const std::string help = name + " Class";
        v.insert({root + versioned, "", help});
        v.insert({root + versioned + "\\CLSID", "", clsid});
        v.insert({root + prog, "", help});
        v.insert({root + prog + "\\CLSID", "", clsid});
        v.insert({root + prog + "\\CurVer", "", versioned});
        const std::string key = root + "CLSID\\" + clsid;
        v.insert({key, "", help});
        v.insert({key + "\\ProgID", "", versioned});
        v.insert({key + "\\VersionIndependentProgID", "", prog});
        v.insert({key + "\\InprocServer32", "", module});
        v.insert({key + "\\InprocServer32", "ThreadingModel", "Apartment"});
        v.insert({key + "\\TypeLib", "", libid});
    }
    const std::string typelib = root + "TypeLib\\" + libid + "\\38.0";
    v.insert({typelib, "", "TARNDistil 38.0 Type Library"});
    v.insert({typelib + "\\409\\win64", "", module});
    v.insert({typelib + "\\FLAGS", "", "0"});
    v.insert({typelib + "\\HELPDIR", "", std::filesystem::path(module).parent_path().string()});
    const std::array<std::tuple<std::string, std::string, bool>, 7> interfaces{{
        {"IDistil", "{5f1a2438-2b46-4b94-9b79-98178f26efab}", true},
        {"IAzeotropeSearch", "{4cae1838-fe00-4e89-a365-6a1fba54f877}", true},
        {"IDistillationMap", "{d5b13938-d0d1-42b9-bd20-b85459c93aff}", true},
        {"IPropertyPackage", "{7f8d1638-7163-4f28-9190-76e8863ced5b}", true},
        {"_IDistilEvents", "{1c5d8638-7e1c-48e6-8c9c-8f46d2f337a3}", false},
        {"_IDistillationMapEvents", "{344c1938-c2c7-4cb1-9021-bb453acb4363}", false},
        {"_IAzeotropeSearchEvents", "{dcbb2138-bdc7-4968-848a-e5f98d278aea}", false},
    }};
    for (const auto& [name, iid, dual] : interfaces) {
        const std::string key = root + "Interface\\" + iid;
        // Dual interfaces go through the automation marshaler, dispatch interfaces through the
        // dispatch one.
        const std::string proxy = dual ? "{00020424-0000-0000-c000-000000000046}"
                                       : "{00020420-0000-0000-c000-000000000046}";
        v.insert({key, "", name});
        v.insert({key + "\\ProxyStubClsid", "", proxy});
        v.insert({key + "\\ProxyStubClsid32", "", proxy});
        v.insert({key + "\\TypeLib", "", libid});
        v.insert({key + "\\TypeLib", "Version", "38.0"});
    }
    return v;
}

std::set<std::tuple<std::string, std::string, std::string>> values_of(const Registry& r) {
    std::set<std::tuple<std::string, std::string, std::string>> v;
    for (const RegistryValue& e : r.values()) { v.insert({e.key, e.name, e.data}); }
    return v;
}

TEST(ModuleRegistration, WritesExactlyThePublishedKeysAndUnregistrationLeavesNothingBehind) {
    // A registry with other servers' entries under the shared keys.
    Registry other;
    other.set_value("HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}", "", "Other Class");
    other.set_value("HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32", "",
                    "/opt/other.so");
    other.set_value("HKCR\\Interface\\{00000000-1111-2222-3333-555555555555}", "", "IOther");
    other.set_value("HKCR\\TypeLib\\{00000000-1111-2222-3333-666666666666}\\1.0", "", "Other");
    other.set_value("HKCR\\Other.Thing", "", "Other Class");
    other.save(registry_file());
    const std::string original = file_text(registry_file());

    ASSERT_EQ(DllRegisterServer(), S_OK);
    const Registry registered = Registry::load(registry_file());
    std::set<std::tuple<std::string, std::string, std::string>> added;
    const auto old_values = values_of(other);
    for (const auto& value : values_of(registered)) {
        if (!old_values.count(value)) { added.insert(value); }
    }
    const std::string module = module_path();
    const auto expected = expected_registration(module);
    EXPECT_EQ(added, expected);
    // The keys: those of the values with their parents, and the classes' empty Programmable
    // keys; the shared keys (CLSID, Interface, TypeLib) were there before.
    std::set<std::string> expected_keys;
    for (const auto& [key, name, data] : expected) {
        for (std::string k = key; k.find('\\') != std::string::npos; k.erase(k.rfind('\\'))) {
            expected_keys.insert(k);
        }
    }
    for (const std::string clsid :
         {"{7d25b338-5cfa-48c0-9568-34bd4a00988d}", "{76cfb638-45f0-4084-8ad4-6dfd83130c1d}",
          "{1c5d7938-fcef-4dc5-9345-754e3de72528}", "{90b72f38-9eb7-4ec5-9b7c-5fdab8ddc734}"}) {
        expected_keys.insert("HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\Programmable");
    }
    const std::vector<std::string> old_keys = other.keys();
    for (const std::string& k : old_keys) { expected_keys.erase(k); }
    std::set<std::string> added_keys;
    for (const std::string& k : registered.keys()) {
        if (std::find(old_keys.begin(), old_keys.end(), k) == old_keys.end()) {
            added_keys.insert(k);
        }
    }
    EXPECT_EQ(added_keys, expected_keys);
    EXPECT_EQ(engine::registry_location(), registry_file().string());

    // Registering again changes nothing; unregistering restores the file byte for byte.
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(Registry::load(registry_file()), registered);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(file_text(registry_file()), original);
    ASSERT_EQ(DllUnregisterServer(), S_OK) << "nothing registered: nothing to remove";
    EXPECT_EQ(file_text(registry_file()), original);

    // A registry file that cannot be read is left as it is, with the reason for the caller.
    write_file(registry_file(), "TARNDistil registry 1\n[HKCR\\A]\n@=broken\n");
    EXPECT_EQ(DllRegisterServer(), E_FAIL);
    const auto info = take_error_info();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->source, "TARNDistil");
    EXPECT_EQ(info->description, registry_file().string() + ":3: expected a quoted text");
    EXPECT_EQ(file_text(registry_file()), "TARNDistil registry 1\n[HKCR\\A]\n@=broken\n");
    std::filesystem::remove(registry_file());
}

/// The default interface of each class.
IID default_interface(const CLSID& clsid) {
    if (clsid == engine::core::CLSID_Distil) { return engine::IDistil::iid; }
    if (clsid == engine::core::CLSID_DistillationMap) { return engine::IDistillationMap::iid; }
    if (clsid == engine::core::CLSID_AzeotropeSearch) { return engine::IAzeotropeSearch::iid; }
    return engine::IPropertyPackage::iid;
}

TEST(Activation, FindsRegisteredClassesByProgIdAndCreatesThemThroughTheirModule) {
    std::filesystem::remove(registry_file());
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("TARNDistil.Distil", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CoCreateInstance(engine::core::CLSID_Distil, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUnknown, reinterpret_cast<void**>(&clsid)),
              REGDB_E_CLASSNOTREG);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    for (const engine::core::ClassIdentity& c : engine::core::kEngineClasses) {
        for (const std::string_view name : {c.prog_id, c.version_independent_prog_id}) {
            ASSERT_EQ(CLSIDFromProgID(name, &clsid), S_OK) << name;
            EXPECT_EQ(clsid, c.clsid) << name;
        }
        EXPECT_EQ(ProgIDFromCLSID(c.clsid), std::string(c.prog_id));
        CComPtr<IUnknown> object;
        ASSERT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   object.out_void()),
                  S_OK)
            << c.prog_id;
        CComPtr<IUnknown> own;
        EXPECT_EQ(object->QueryInterface(default_interface(c.clsid), own.out_void()), S_OK)
            << c.prog_id;
    }
    EXPECT_EQ(CLSIDFromProgID("TARNDistil.Nothing", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("", &clsid), CO_E_CLASSSTRING);

    // Registrations that lead nowhere.
    Registry r = Registry::load(registry_file());
    const std::string missing_module = "HKCR\\CLSID\\{00000000-0000-0000-0000-0000000000aa}";
    r.set_value(missing_module + "\\InprocServer32", "", (scratch() / "libmissing.so").string());
    const std::string no_entry_point = "HKCR\\CLSID\\{00000000-0000-0000-0000-0000000000bb}";
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&SysAllocString), &info), 0);  // libplatform.so
    r.set_value(no_entry_point + "\\InprocServer32", "", info.dli_fname);
    r.save(registry_file());
    CComPtr<IUnknown> none;
    EXPECT_EQ(CoCreateInstance(make_guid("00000000-0000-0000-0000-0000000000aa"), nullptr,
                               CLSCTX_INPROC_SERVER, IID_IUnknown, none.out_void()),
              CO_E_DLLNOTFOUND);
    EXPECT_EQ(CoCreateInstance(make_guid("00000000-0000-0000-0000-0000000000bb"), nullptr,
                               CLSCTX_INPROC_SERVER, IID_IUnknown, none.out_void()),
              CO_E_ERRORINDLL);
    EXPECT_EQ(
        CoCreateInstance(engine::core::CLSID_Distil, nullptr, 0x4, IID_IUnknown, none.out_void()),
        REGDB_E_CLASSNOTREG)
        << "only in-process servers exist";

    // The module's own class factories.
    CComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(make_guid("00000000-0000-0000-0000-0000000000aa"),
                                IClassFactory::iid, factory.out_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(DllGetClassObject(engine::core::CLSID_DistillationMap, IClassFactory::iid,
                                factory.out_void()),
              S_OK);
    CComPtr<engine::IDistillationMap> map;
    ASSERT_EQ(factory->CreateInstance(nullptr, engine::IDistillationMap::iid, map.out_void()),
              S_OK);
    CComPtr<engine::IDistil> wrong;
    EXPECT_EQ(factory->CreateInstance(nullptr, engine::IDistil::iid, wrong.out_void()),
              E_NOINTERFACE);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    CoFreeUnusedLibraries();
}

TEST(ModuleUnload, IsAllowedExactlyWhenNoObjectIsAliveAndNoLockIsHeld) {
    ASSERT_EQ(DllCanUnloadNow(), S_OK) << "no object left over";
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(engine::core::CLSID_AzeotropeSearch, IClassFactory::iid,
                                factory.out_void()),
              S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "a class factory alone does not hold the module";
    {
        CComPtr<IUnknown> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.out_void()), S_OK);
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ASSERT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    // A root object holds three more objects, which go with it (and the process-wide pointers).
    CComPtr<IClassFactory> roots;
    ASSERT_EQ(DllGetClassObject(engine::core::CLSID_Distil, IClassFactory::iid, roots.out_void()),
              S_OK);
    {
        CComPtr<engine::IDistil> root;
        ASSERT_EQ(roots->CreateInstance(nullptr, engine::IDistil::iid, root.out_void()), S_OK);
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(engine::global_property_package(), nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(MapRootClass, ComesFromTheRegistryWhenRegisteredThereAndFromTheBuiltInTableOtherwise) {
    std::filesystem::remove(registry_file());
    {
        // A problem open in the host, by a root object that is gone again.
        CComPtr<engine::IDistil> root;
        ASSERT_EQ(engine::create_engine_object(engine::core::CLSID_Distil, engine::IDistil::iid,
                                               root.out_void()),
                  S_OK);
        ASSERT_EQ(root->InitFromSimpdfFile(
                      CComBSTR::from_utf8(example_file("acetone-chloroform-methanol.toml"))),
                  S_OK);
    }
    ASSERT_EQ(engine::global_property_package(), nullptr);
    CComPtr<engine::IDistillationMap> map;
    ASSERT_EQ(engine::create_engine_object(engine::core::CLSID_DistillationMap,
                                           engine::IDistillationMap::iid, map.out_void()),
              S_OK);
    const auto* object = static_cast<const engine::CDistillationMap*>(map.get());
    const auto set_components = [&] {
        return map->SetComponentData(CComBSTR(u"ACETONE"), CComBSTR(u"CHCL3"), CComBSTR(u"MEOH"));
    };
    // Nothing registered: the built-in table names the root class.
    ASSERT_EQ(set_components(), S_OK);
    EXPECT_EQ(object->component_indices(), (std::array<std::int64_t, 3>{1, 2, 3}));

    // The name the map asks for, registered for a class that is not the root class: the
    // registry is asked first, and the map has no property package to ask.
    Registry r;
    const std::string key = "HKCR\\TARNDistil.Distil.26.0\\CLSID";
    r.set_value(key, "", "{1c5d7938-fcef-4dc5-9345-754e3de72528}");
    r.save(registry_file());
    EXPECT_EQ(hresult_bits(set_components()), 0x80040278u);
    EXPECT_EQ(take_error_info().value_or(ErrorRecord{}).description,
              "Property Package not Initialised");
    // Registered for the root class.
    r.set_value(key, "", "{7d25b338-5cfa-48c0-9568-34bd4a00988d}");
    r.save(registry_file());
    EXPECT_EQ(set_components(), S_OK);
    // A registry that cannot be read registers nothing: the built-in table again.
    write_file(registry_file(), "not a registry\n");
    EXPECT_EQ(set_components(), S_OK);
    std::filesystem::remove(registry_file());
    EXPECT_EQ(engine::global_property_package(), nullptr) << "the map's root object is gone";
}

#ifdef DISTIL_EXECUTABLE
struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome run_distil(const std::string& arguments) {
    const std::filesystem::path err_file = scratch() / "distil.err";
    const std::string command =
        std::string(DISTIL_EXECUTABLE) + " " + arguments + " 2>" + err_file.string();
    Outcome run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) { return run; }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) { run.out.append(buffer, n); }
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = file_text(err_file);
    return run;
}

TEST(DistilCommand, RegistersAndUnregistersTheModuleInTheRegistryItIsGiven) {
    const std::filesystem::path file = scratch() / "cli" / "registry";
    const Outcome registered = run_distil("register --registry " + file.string());
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_NE(registered.out.find(file.string()), std::string::npos) << registered.out;
    const Registry r = Registry::load(file);
    const std::string server =
        "HKCR\\CLSID\\{7d25b338-5cfa-48c0-9568-34bd4a00988d}\\InprocServer32";
    EXPECT_EQ(r.value(server), module_path());
    EXPECT_EQ(values_of(r), expected_registration(module_path()));

    const Outcome unregistered = run_distil("unregister --registry " + file.string());
    ASSERT_EQ(unregistered.status, 0) << unregistered.err;
    EXPECT_TRUE(Registry::load(file).values().empty());

    write_file(file, "TARNDistil registry 1\nbroken\n");
    const Outcome refused = run_distil("register --registry " + file.string());
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find(file.string() + ":2:"), std::string::npos) << refused.err;
}
#endif

}  // namespace
}  // namespace server::testing
