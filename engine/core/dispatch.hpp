#pragma once
/// Late binding of the engine's dual interfaces: IDispatch::GetIDsOfNames and IDispatch::Invoke
/// driven by one table per interface. Each table row names a member (dispatch id, name, kind),
/// its parameters (names, automation types and directions) and a thunk that unpacks the
/// arguments from their variants, calls the member through the interface table and packs the
/// results back. The rows of ordinary members are generated from the member function itself,
/// so the types and the argument count cannot drift from the interface:
///
///     constexpr std::array kMembers{
///         dispatch::property_get<&IThing::get_Pressure>(4, u"Pressure"),
///         dispatch::property_put<&IThing::put_Pressure>(4, u"Pressure"),
///         dispatch::method<&IThing::GetCurve>(8, u"GetCurve", u"vStart nDirection vCurve"),
///     };
///
/// Argument conventions (those of automation clients):
/// - DISPPARAMS lists the arguments last first; named arguments come first and are matched by
///   the parameter's position (GetIDsOfNames gives a parameter name its position).
/// - In values (LONG, DOUBLE, LONGLONG, BSTR) accept any variant that converts to the type, also
///   behind a reference; an in VARIANT is passed as the caller's variant (read through any
///   reference, never copied). A left-out in VARIANT arrives as "missing" (VT_ERROR with
///   DISP_E_PARAMNOTFOUND), which the members treat as empty.
/// - Pointer parameters are outputs (or in/out): the caller passes a reference, either to a
///   value of the exact type (VT_BYREF | VT_I4 for a LONG*) or to a variant
///   (VT_BYREF | VT_VARIANT), which then receives the result with its own type. A by-value
///   variant there is refused (its result would be lost without a word); an output the caller
///   leaves out is computed and dropped.
/// - A property get hands its value back as the call's result.
///
/// Statuses: DISP_E_MEMBERNOTFOUND for an unknown id or a kind the member does not have (a put of
/// a read-only property), DISP_E_BADPARAMCOUNT for a wrong argument count, DISP_E_TYPEMISMATCH
/// (or the conversion's DISP_E_OVERFLOW) for an argument of the wrong type, with puArgErr set
/// to its index in rgvarg, DISP_E_PARAMNOTOPTIONAL for a left-out in value, DISP_E_PARAMNOTFOUND
/// for a bad named argument. A member that fails makes Invoke return DISP_E_EXCEPTION with its
/// status in EXCEPINFO::scode and the error information it left (source, description) in the
/// other fields.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/dispatch.hpp"
#include "platform/guid.hpp"
#include "platform/variant.hpp"

namespace engine::core::dispatch {

using platform::DISPID;
using platform::HRESULT;
using platform::VARIANT;
using platform::VARTYPE;

enum class MemberKind : std::uint8_t { method, property_get, property_put };

enum class Direction : std::uint8_t {
    in,      ///< read only
    out,     ///< written only
    in_out,  ///< the caller's storage is handed to the member, which may read and write it
    retval,  ///< the value of a property get: the call's result, not an argument
};

/// Automation type of a parameter (VT_BYREF set for pointers) and its direction.
struct ParamType {
    VARTYPE vt = platform::VT_EMPTY;
    Direction direction = Direction::in;
};

/// What a thunk reports: the member's status, or, when `refused_argument` is not negative, that
/// this argument (declared position) was refused with `status` before the member was called.
struct CallOutcome {
    HRESULT status = platform::S_OK;
    int refused_argument = -1;
};

/// The caller's arguments of one call, one per caller-visible parameter in declaration order;
/// null where the caller passed nothing.
using Arguments = std::span<VARIANT* const>;
/// Unpacks, calls the member on `object` (the interface pointer the table belongs to) and packs.
using Thunk = CallOutcome (*)(void* object, Arguments args, VARIANT* result);

/// Most parameters one member can have (the design method has 53).
inline constexpr std::size_t kMaxArguments = 64;

struct Member {
    DISPID id = 0;
    std::u16string_view name;
    MemberKind kind = MemberKind::method;
    /// Parameter names, separated by blanks, in declaration order (none for a property get).
    std::u16string_view parameter_names;
    /// Parameter types in declaration order; a property get lists its value (Direction::retval).
    std::span<const ParamType> parameters;
    Thunk thunk = nullptr;

    /// The number of arguments a caller passes.
    constexpr std::size_t argument_count() const noexcept {
        std::size_t n = 0;
        for (const ParamType& p : parameters) { n += p.direction != Direction::retval ? 1 : 0; }
        return n;
    }
};

/// GetIDsOfNames over a table: the first name is the member (ignoring ASCII case, as automation
/// clients expect), the others its parameters, whose ids are their positions. Unknown names get
/// DISPID_UNKNOWN and the call DISP_E_UNKNOWNNAME.
HRESULT ids_of_names(std::span<const Member> members,
                     platform::LPOLESTR* names,
                     platform::UINT count,
                     DISPID* ids) noexcept;

/// IDispatch::Invoke over a table for `object`. `clsid` names the class whose ProgID becomes
/// the source of an exception when the failing member left no error information.
HRESULT invoke(std::span<const Member> members,
               const platform::CLSID& clsid,
               void* object,
               DISPID id,
               platform::REFIID riid,
               platform::WORD flags,
               platform::DISPPARAMS* params,
               VARIANT* result,
               platform::EXCEPINFO* excep,
               platform::UINT* arg_error) noexcept;

namespace detail {
/// True for an argument the caller left out: none at all, or VT_ERROR holding
/// DISP_E_PARAMNOTFOUND (also behind a reference to a variant).
bool is_missing(const VARIANT* arg) noexcept;
/// The value an argument stands for, read through references (to a variant, a value or an
/// array) without copying: the result shares strings and arrays with the argument.
VARIANT value_view(const VARIANT* arg) noexcept;
/// Where an output goes: the variant behind VT_BYREF | VT_VARIANT (null when the argument is not
/// such a reference or leads to another kind of reference).
VARIANT* output_variant(VARIANT* arg) noexcept;
/// The number of blank-separated words.
consteval std::size_t word_count(std::u16string_view text) {
    std::size_t n = 0;
    bool in_word = false;
    for (const char16_t c : text) {
        const bool blank = c == u' ';
        if (!blank && !in_word) { ++n; }
        in_word = !blank;
    }
    return n;
}
}  // namespace detail

// ---- Argument conversion ----------------------------------------------------------------------

template <class T>
struct ScalarTraits;
template <>
struct ScalarTraits<platform::LONG> {
    static constexpr VARTYPE vt = platform::VT_I4;
    static platform::LONG get(const VARIANT& v) noexcept { return v.lVal; }
    static void set(VARIANT& v, platform::LONG x) noexcept { v.lVal = x; }
    static platform::LONG* reference(const VARIANT& v) noexcept { return v.plVal; }
};
template <>
struct ScalarTraits<platform::DOUBLE> {
    static constexpr VARTYPE vt = platform::VT_R8;
    static platform::DOUBLE get(const VARIANT& v) noexcept { return v.dblVal; }
    static void set(VARIANT& v, platform::DOUBLE x) noexcept { v.dblVal = x; }
    static platform::DOUBLE* reference(const VARIANT& v) noexcept { return v.pdblVal; }
};
template <>
struct ScalarTraits<platform::LONGLONG> {
    static constexpr VARTYPE vt = platform::VT_I8;
    static platform::LONGLONG get(const VARIANT& v) noexcept { return v.llVal; }
    static void set(VARIANT& v, platform::LONGLONG x) noexcept { v.llVal = x; }
    static platform::LONGLONG* reference(const VARIANT& v) noexcept { return v.pllVal; }
};
template <class T>
concept Scalar = requires {
    ScalarTraits<T>::vt;
};

/// Converts `arg` to a scalar of type T (automation coercion: numbers, booleans, numeric text).
template <Scalar T>
HRESULT to_scalar(const VARIANT* arg, T* value) noexcept {
    platform::CComVariant converted;
    const HRESULT hr = platform::VariantChangeType(&converted, arg, 0, ScalarTraits<T>::vt);
    if (platform::FAILED(hr)) { return hr; }
    *value = ScalarTraits<T>::get(converted);
    return platform::S_OK;
}

/// One argument of type T: load() unpacks it, get() is what the member receives, store() packs
/// what the member wrote. Types without a specialisation cannot be dispatched (compile error).
template <class T>
class Param;

/// In value: LONG, DOUBLE, LONGLONG.
template <Scalar T>
class Param<T> {
public:
    static constexpr ParamType type{ScalarTraits<T>::vt, Direction::in};
    HRESULT load(VARIANT* arg) noexcept {
        if (detail::is_missing(arg)) { return platform::DISP_E_PARAMNOTOPTIONAL; }
        return to_scalar(arg, &value_);
    }
    T get() const noexcept { return value_; }
    void store(bool) noexcept {}

private:
    T value_{};
};

/// In string. A string argument is passed as it is (no copy); anything else is converted.
template <>
class Param<platform::BSTR> {
public:
    static constexpr ParamType type{platform::VT_BSTR, Direction::in};
    HRESULT load(VARIANT* arg) noexcept;
    platform::BSTR get() const noexcept { return text_; }
    void store(bool) noexcept {}

private:
    platform::BSTR text_ = nullptr;
    platform::CComVariant converted_;
};

/// In variant: the caller's variant, read through references.
template <>
class Param<VARIANT> {
public:
    static constexpr ParamType type{platform::VT_VARIANT, Direction::in};
    HRESULT load(VARIANT* arg) noexcept;
    VARIANT get() const noexcept { return view_; }
    void store(bool) noexcept {}

private:
    VARIANT view_{};
};

/// Output (or in/out) value: a reference to the exact type is handed through; a reference to a
/// variant is read (when it holds something convertible) and receives the result.
template <Scalar T>
class Param<T*> {
public:
    static constexpr ParamType type{static_cast<VARTYPE>(ScalarTraits<T>::vt | platform::VT_BYREF),
                                    Direction::in_out};
    HRESULT load(VARIANT* arg) noexcept {
        if (!arg) { return platform::S_OK; }
        if (arg->vt == (ScalarTraits<T>::vt | platform::VT_BYREF)) {
            if (!ScalarTraits<T>::reference(*arg)) { return platform::DISP_E_TYPEMISMATCH; }
            target_ = ScalarTraits<T>::reference(*arg);
            return platform::S_OK;
        }
        VARIANT* v = detail::output_variant(arg);
        if (!v) { return detail::is_missing(arg) ? platform::S_OK : platform::DISP_E_TYPEMISMATCH; }
        if (v->vt == (ScalarTraits<T>::vt | platform::VT_BYREF)) {
            if (!ScalarTraits<T>::reference(*v)) { return platform::DISP_E_TYPEMISMATCH; }
            target_ = ScalarTraits<T>::reference(*v);
            return platform::S_OK;
        }
        if (v->vt & platform::VT_BYREF) { return platform::DISP_E_TYPEMISMATCH; }
        // An in/out value starts from what the caller's variant holds, when it is a number.
        if (platform::FAILED(to_scalar(v, &local_))) { local_ = T{}; }
        initial_ = local_;
        variant_ = v;
        return platform::S_OK;
    }
    T* get() noexcept { return target_; }
    void store(bool succeeded) noexcept {
        // A failed member that did not write leaves the caller's variant as it was.
        if (!variant_ || (!succeeded && local_ == initial_)) { return; }
        if (platform::FAILED(platform::VariantClear(variant_))) { return; }
        variant_->vt = ScalarTraits<T>::vt;
        ScalarTraits<T>::set(*variant_, local_);
    }

private:
    T local_{};
    T initial_{};
    T* target_ = &local_;
    VARIANT* variant_ = nullptr;
};

/// Output (or in/out) variant: the member works on the caller's variant itself.
template <>
class Param<VARIANT*> {
public:
    static constexpr ParamType type{platform::VT_VARIANT | platform::VT_BYREF, Direction::in_out};
    HRESULT load(VARIANT* arg) noexcept;
    VARIANT* get() noexcept { return target_; }
    void store(bool) noexcept {}

private:
    platform::CComVariant local_;
    VARIANT* target_ = &local_;
};

/// A value a property get returns, as the call's result.
template <class T>
class Result;
template <Scalar T>
class Result<T> {
public:
    static constexpr ParamType type{ScalarTraits<T>::vt, Direction::retval};
    T* slot() noexcept { return &value_; }
    void store(VARIANT* result) noexcept {
        if (!result) { return; }
        result->vt = ScalarTraits<T>::vt;
        ScalarTraits<T>::set(*result, value_);
    }
    void discard() noexcept {}

private:
    T value_{};
};
/// An interface pointer (one reference, handed to the result or released).
template <class I>
requires std::is_base_of_v<platform::IDispatch, I>
class Result<I*> {
public:
    static constexpr ParamType type{platform::VT_DISPATCH, Direction::retval};
    I** slot() noexcept { return &value_; }
    void store(VARIANT* result) noexcept {
        if (!result) {
            discard();
            return;
        }
        result->vt = platform::VT_DISPATCH;
        result->pdispVal = value_;
        value_ = nullptr;
    }
    void discard() noexcept { platform::safe_release(value_); }
    ~Result() { discard(); }

private:
    I* value_ = nullptr;
};

// ---- Thunks ------------------------------------------------------------------------------------

namespace detail {

template <class P>
bool load_argument(P& param, VARIANT* arg, int position, CallOutcome& outcome) noexcept {
    const HRESULT hr = param.load(arg);
    if (platform::SUCCEEDED(hr)) { return true; }
    outcome.status = hr;
    outcome.refused_argument = position;
    return false;
}

template <class I, class... P, std::size_t... K>
CallOutcome call_method(HRESULT (I::*member)(P...),
                        void* object,
                        Arguments args,
                        std::index_sequence<K...>) {
    static_cast<void>(args);  // members without parameters never look at it
    std::tuple<Param<P>...> params;
    CallOutcome outcome;
    if (!(load_argument(std::get<K>(params), args[K], static_cast<int>(K), outcome) && ...)) {
        return outcome;
    }
    outcome.status = (static_cast<I*>(object)->*member)(std::get<K>(params).get()...);
    (std::get<K>(params).store(platform::SUCCEEDED(outcome.status)), ...);
    return outcome;
}

template <class I, class... P>
constexpr std::size_t arity(HRESULT (I::*)(P...)) {
    return sizeof...(P);
}

template <class I, class... P>
constexpr std::array<ParamType, sizeof...(P)> method_types(HRESULT (I::*)(P...)) {
    return {Param<P>::type...};
}
template <class I, class R>
constexpr std::array<ParamType, 1> getter_types(HRESULT (I::*)(R*)) {
    return {Result<R>::type};
}
template <class I, class V>
constexpr std::array<ParamType, 1> putter_types(HRESULT (I::*)(V)) {
    return {Param<V>::type};
}

}  // namespace detail

template <auto M>
CallOutcome method_thunk(void* object, Arguments args, VARIANT*) {
    return detail::call_method(M, object, args, std::make_index_sequence<detail::arity(M)>{});
}

template <auto M>
CallOutcome getter_thunk(void* object, Arguments, VARIANT* result) {
    return [&]<class I, class R>(HRESULT (I::*member)(R*)) {
        Result<R> value;
        CallOutcome outcome;
        outcome.status = (static_cast<I*>(object)->*member)(value.slot());
        if (platform::SUCCEEDED(outcome.status)) {
            value.store(result);
        } else {
            value.discard();
        }
        return outcome;
    }(M);
}

template <auto M>
CallOutcome putter_thunk(void* object, Arguments args, VARIANT*) {
    return detail::call_method(M, object, args, std::make_index_sequence<1>{});
}

template <auto M>
inline constexpr auto kMethodTypes = detail::method_types(M);
template <auto M>
inline constexpr auto kGetterTypes = detail::getter_types(M);
template <auto M>
inline constexpr auto kPutterTypes = detail::putter_types(M);

// ---- Table rows --------------------------------------------------------------------------------

/// A method; `parameter_names` lists every parameter, blank-separated, in declaration order.
template <auto M>
consteval Member method(DISPID id, std::u16string_view name, std::u16string_view parameter_names) {
    if (detail::word_count(parameter_names) != kMethodTypes<M>.size()) {
        throw "the parameter names do not match the member's parameters";
    }
    if (kMethodTypes<M>.size() > kMaxArguments) { throw "too many parameters"; }
    return Member{id, name, MemberKind::method, parameter_names, kMethodTypes<M>, &method_thunk<M>};
}

/// A property get: a member with one pointer parameter, the value.
template <auto M>
consteval Member property_get(DISPID id, std::u16string_view name) {
    return Member{id, name, MemberKind::property_get, u"", kGetterTypes<M>, &getter_thunk<M>};
}

/// A property put: a member with one value parameter.
template <auto M>
consteval Member property_put(DISPID id, std::u16string_view name) {
    return Member{id, name, MemberKind::property_put, u"newVal", kPutterTypes<M>, &putter_thunk<M>};
}

/// A row with a hand-written thunk, for members whose arguments are not automation types.
consteval Member custom(DISPID id,
                        std::u16string_view name,
                        MemberKind kind,
                        std::u16string_view parameter_names,
                        std::span<const ParamType> parameters,
                        Thunk thunk) {
    std::size_t arguments = 0;
    for (const ParamType& p : parameters) { arguments += p.direction != Direction::retval; }
    if (kind != MemberKind::property_get && detail::word_count(parameter_names) != arguments) {
        throw "the parameter names do not match the parameters";
    }
    return Member{id, name, kind, parameter_names, parameters, thunk};
}

// ---- Helpers for hand-written thunks -----------------------------------------------------------

/// The numbers of an array argument (any dimension count, storage order) or of one scalar, as
/// doubles. DISP_E_TYPEMISMATCH for anything else.
HRESULT read_doubles(const VARIANT* arg, std::vector<double>& values) noexcept;
/// The same as 64-bit integers; values that are not whole numbers are refused.
HRESULT read_integers(const VARIANT* arg, std::vector<std::int64_t>& values) noexcept;

/// An array output: the variant behind a reference (VT_BYREF | VT_VARIANT) receives a new 1-D
/// array of doubles; a left-out argument drops the values. A by-value argument is refused.
class ArrayOutput {
public:
    static constexpr ParamType type{platform::VT_VARIANT | platform::VT_BYREF, Direction::out};
    HRESULT load(VARIANT* arg) noexcept;
    /// Replaces the caller's variant by a 1-D array (lower bound 0) of `values`.
    HRESULT store(std::span<const double> values) noexcept;

private:
    VARIANT* target_ = nullptr;
};

}  // namespace engine::core::dispatch
