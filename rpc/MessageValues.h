// The one value each message of IKt64Srv carries (a getter's answer, a
// setter's request), read and written the same way for every member: the
// handlers, the client's calls and the tests' fake server go through these
// rather than through each message's own field.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "InterfaceMembers.h"
#include "Kt64Srv.pb.h"

namespace kt64::rpc {

// The messages whose field is not named pVal or newVal.
inline double valueOf(const SyncTimeOut& m) { return m.time(); }
inline std::uint32_t valueOf(const ComPortIn& m) { return m.portno(); }
inline std::uint32_t valueOf(const ComPortOut& m) { return m.portno(); }
inline std::uint32_t valueOf(const ComunicationEnableIn& m) { return m.enabled(); }

inline void setValue(SyncTimeOut& m, double v) { m.set_time(v); }
inline void setValue(ComPortIn& m, std::uint32_t v) { m.set_portno(v); }
inline void setValue(ComPortOut& m, std::uint32_t v) { m.set_portno(v); }
inline void setValue(ComunicationEnableIn& m, std::uint32_t v) { m.set_enabled(v); }

// A VARIANT's bytes are viewed where the message keeps them: the view lasts
// as long as the message.
inline ids::VariantBytes bytesOf(const Variant& v) {
    return {v.vt(), {reinterpret_cast<const std::uint8_t*>(v.parray().data()), v.parray().size()}};
}
inline ids::VariantBytes valueOf(const VariantIn& m) { return bytesOf(m.newval()); }
inline ids::VariantBytes valueOf(const VariantOut& m) { return bytesOf(m.pval()); }

inline void setVariant(Variant& to, const ids::VariantBytes& v) {
    to.set_vt(v.vt);
    to.set_parray(std::string(v.bytes.begin(), v.bytes.end()));
}
inline void setValue(VariantIn& m, const ids::VariantBytes& v) { setVariant(*m.mutable_newval(), v); }
inline void setValue(VariantOut& m, const ids::VariantBytes& v) { setVariant(*m.mutable_pval(), v); }

// The rest: pVal in an answer, newVal in a request. A value of another type
// (an enumeration's number, a text's view) is converted to the field's.
template <class M>
requires requires(const M& m) { m.pval(); }
decltype(auto) valueOf(const M& m) { return m.pval(); }
template <class M>
requires requires(const M& m) { m.newval(); }
decltype(auto) valueOf(const M& m) { return m.newval(); }

template <class M, class V>
requires requires(M& m) { m.set_pval(std::remove_cvref_t<decltype(m.pval())>{}); }
void setValue(M& m, const V& v) { m.set_pval(static_cast<std::remove_cvref_t<decltype(m.pval())>>(v)); }
template <class M, class V>
requires requires(M& m) { m.set_newval(std::remove_cvref_t<decltype(m.newval())>{}); }
void setValue(M& m, const V& v) { m.set_newval(static_cast<std::remove_cvref_t<decltype(m.newval())>>(v)); }

// The type of the value a message carries.
template <class M>
using ValueOf = std::remove_cvref_t<decltype(valueOf(std::declval<const M&>()))>;

}  // namespace kt64::rpc
