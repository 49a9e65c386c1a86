#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <utility>

#include "Deserializer.h"
#include "FieldRuns.h"
#include "FieldVisitor.h"
#include "Serializer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

// A pair of counters for one remote procedure.
typedef struct _successfail {
    uint64_t succeeded;
    uint64_t failed;
} success_fail_t;

// How one field of a given C++ type becomes bytes (through a Serializer or any
// writer with its calls, such as XdrBuffer), an XML statistic and a dump
// line. The records expand their field lists into calls of these overloads, so
// the width of every value follows from its declared type alone.
namespace fieldcodec {

template <class S>
inline void put(S& s, uint32_t v) {
    s.write32(v);
}
template <class S>
inline void put(S& s, int32_t v) {
    s.write32(static_cast<uint32_t>(v));
}
template <class S>
inline void put(S& s, uint64_t v) {
    s.write64(v);
}
// The only 16-bit counter (the D-blade's krqm.maxRnums) travels twice; readers
// keep the first copy.
template <class S>
inline void put(S& s, uint16_t v) {
    s.write16(v);
    s.write16(v);
}
template <class S>
inline void put(S& s, const success_fail_t& v) {
    s.write64(v.succeeded);
    s.write64(v.failed);
}
template <class S, size_t N>
inline void put(S& s, const uint32_t (&a)[N]) {
    for (size_t i = 0; i < N; i++)
        s.write32(a[i]);
}

// The XDR words a field of type T takes: one per 32-bit value, two per
// 64-bit value, two for the 16-bit value (it travels twice).
template <class T>
constexpr size_t xdrWords() {
    if constexpr (std::is_array_v<T>)
        return std::extent_v<T> * xdrWords<std::remove_extent_t<T>>();
    else if constexpr (std::is_same_v<T, uint16_t>)
        return 2;
    else
        return sizeof(T) / 4;
}
static_assert(xdrWords<success_fail_t>() == 4 && xdrWords<uint32_t[3]>() == 3,
              "a pair is four words, an array one per entry");

// A field's place in its list's runs (see FieldRuns).
inline size_t offsetIn(const void* base, const void* field) {
    return static_cast<size_t>(static_cast<const char*>(field) - static_cast<const char*>(base));
}
inline void run(FieldRuns& b, const void* base, const uint32_t& v) {
    b.add(offsetIn(base, &v), 1, FieldRuns::Kind::Words32);
}
inline void run(FieldRuns& b, const void* base, const int32_t& v) {
    b.add(offsetIn(base, &v), 1, FieldRuns::Kind::Words32);
}
inline void run(FieldRuns& b, const void* base, const uint64_t& v) {
    b.add(offsetIn(base, &v), 1, FieldRuns::Kind::Words64);
}
inline void run(FieldRuns& b, const void* base, const uint16_t& v) {
    b.add(offsetIn(base, &v), 1, FieldRuns::Kind::Twice16);
}
static_assert(sizeof(success_fail_t) == 16, "a success/fail pair is two adjacent 64-bit counts");
inline void run(FieldRuns& b, const void* base, const success_fail_t& v) {
    b.add(offsetIn(base, &v), 2, FieldRuns::Kind::Words64);
}
template <size_t N>
inline void run(FieldRuns& b, const void* base, const uint32_t (&a)[N]) {
    b.add(offsetIn(base, &a), N, FieldRuns::Kind::Words32);
}

// Lists of at least this many fields are written and read as runs; a shorter
// list's value-by-value stores cost less than the call.
constexpr int kRunListFields = 16;

// Whether a writer takes a whole struct of N 32-bit values at once
// (putWords32<N>).
template <class S, class = void>
struct TakesWords32 : std::false_type {};
template <class S>
struct TakesWords32<S, std::void_t<decltype(std::declval<S&>().template putWords32<1>(
                           static_cast<const void*>(nullptr)))>> : std::true_type {};

// Whether a writer takes whole field lists as runs (putRuns) rather than
// value by value.
template <class S, class = void>
struct TakesRuns : std::false_type {};
template <class S>
struct TakesRuns<S, std::void_t<decltype(std::declval<S&>().putRuns(
                        static_cast<const void*>(nullptr), std::declval<const FieldRuns&>()))>>
    : std::true_type {};

// A writer that writes nothing: it gathers the runs of the field lists and
// the single fields put to it, in order, into one plan of the struct at
// `base`, so that the fixed part of a record goes out in one putRuns.
class RunPlanner {
  public:
    explicit RunPlanner(const void* base) : _base(base) {}
    void putRuns(const void* sub, const FieldRuns& runs) {
        plan.append(runs, offsetIn(_base, sub));
    }
    template <class T>
    void putField(const T& field) {
        run(plan, _base, field);
    }
    FieldRuns plan;

  private:
    const void* _base;
};

// One field outside a list: a planner takes its place, any other writer its
// value.
template <class S, class T>
inline void putField(S& s, const T& field) {
    if constexpr (std::is_same_v<S, RunPlanner>)
        s.putField(field);
    else
        put(s, field);
}

// Puts what `fields(s)` puts of the struct at `base`, which must be fields
// only (lists and putField) and the same for every record of the type: for a
// writer that takes runs, as one plan made from `fields` on first use (one per
// call site, each lambda being a type of its own), for any other writer value
// by value.
template <class S, class Fields>
inline void putPlanned(S& s, const void* base, Fields&& fields) {
    if constexpr (TakesRuns<S>::value) {
        static const FieldRuns plan = [base, &fields] {
            RunPlanner planner(base);
            fields(planner);
            return planner.plan;
        }();
        s.putRuns(base, plan);
    } else {
        fields(s);
    }
}

// The plan of a whole struct of type T, made on first use from what
// `fields(planner, item)` puts of an item (one plan per lambda type): what a
// writer's putEach takes to write many such structs at once.
template <class T, class Fields>
inline const FieldRuns& planOf(Fields&& fields) {
    static const FieldRuns plan = [&fields] {
        T item{};
        RunPlanner planner(&item);
        fields(planner, item);
        return planner.plan;
    }();
    return plan;
}

inline void get(Deserializer& d, uint32_t& v) {
    v = d.read32();
}
inline void get(Deserializer& d, int32_t& v) {
    v = static_cast<int32_t>(d.read32());
}
inline void get(Deserializer& d, uint64_t& v) {
    v = d.read64();
}
inline void get(Deserializer& d, uint16_t& v) {
    v = d.read16();
    (void)d.read16();
}
inline void get(Deserializer& d, success_fail_t& v) {
    v.succeeded = d.read64();
    v.failed = d.read64();
}
template <size_t N>
inline void get(Deserializer& d, uint32_t (&a)[N]) {
    for (size_t i = 0; i < N; i++)
        a[i] = d.read32();
}

inline void xml(XmlRenderer& r, const char* name, uint32_t v) {
    r.renderAttribute(name, v);
}
inline void xml(XmlRenderer& r, const char* name, int32_t v) {
    r.renderAttribute(name, static_cast<unsigned int>(v));
}
inline void xml(XmlRenderer& r, const char* name, uint16_t v) {
    r.renderAttribute(name, static_cast<unsigned int>(v));
}
inline void xml(XmlRenderer& r, const char* name, uint64_t v) {
    r.renderAttribute(name, static_cast<unsigned long long>(v));
}
inline void xml(XmlRenderer& r, const char* name, const success_fail_t& v) {
    r.renderSuccessFailAttribute(name, static_cast<unsigned long long>(v.succeeded),
                                 static_cast<unsigned long long>(v.failed));
}
// An array of counts is an element of its own holding one "bucket" per
// non-zero entry, in index order.
template <size_t N>
inline void xml(XmlRenderer& r, const char* name, const uint32_t (&a)[N]) {
    r.pushTag(name, nullptr);
    for (size_t i = 0; i < N; i++) {
        if (a[i] == 0)
            continue;
        XmlAttrs attrs;
        XmlRenderer::addAttr(attrs, "bucketno", static_cast<unsigned int>(i));
        XmlRenderer::addAttr(attrs, "count", a[i]);
        r.pushTag("bucket", &attrs);
        r.popTag();
    }
    r.popTag();
}

// The XML statistic read back: what xml() wrote, or 0 where it left a zero out.
inline void load(XmlRecordReader& x, const char* name, uint32_t& v) {
    x.statistic(name, v);
}
inline void load(XmlRecordReader& x, const char* name, int32_t& v) {
    x.statistic(name, v);
}
inline void load(XmlRecordReader& x, const char* name, uint16_t& v) {
    x.statistic(name, v);
}
inline void load(XmlRecordReader& x, const char* name, uint64_t& v) {
    x.statistic(name, v);
}
inline void load(XmlRecordReader& x, const char* name, success_fail_t& v) {
    x.statistic(name, v.succeeded, v.failed);
}
template <size_t N>
inline void load(XmlRecordReader& x, const char* name, uint32_t (&a)[N]) {
    x.counts(name, a, N);
}

// Dump lines: "attribute=<path>.<name> value=<v>".
inline void dump(const char* path, const char* name, uint32_t v) {
    printf("attribute=%s.%s value=%d\n", path, name, static_cast<int>(v));
}
inline void dump(const char* path, const char* name, int32_t v) {
    printf("attribute=%s.%s value=%d\n", path, name, v);
}
inline void dump(const char* path, const char* name, uint16_t v) {
    printf("attribute=%s.%s value=%d\n", path, name, static_cast<int>(v));
}
inline void dump(const char* path, const char* name, uint64_t v) {
    printf("attribute=%s.%s value=%lld\n", path, name, static_cast<long long>(v));
}
inline void dump(const char* path, const char* name, const success_fail_t& v) {
    printf("attribute=%s.%s.succeeded value=%lld\n", path, name,
           static_cast<long long>(v.succeeded));
    printf("attribute=%s.%s.failed value=%lld\n", path, name, static_cast<long long>(v.failed));
}
template <size_t N>
inline void dump(const char* path, const char* name, const uint32_t (&a)[N]) {
    for (size_t i = 0; i < N; i++)
        printf("attribute=%s.%s[%zu] value=%d\n", path, name, i, static_cast<int>(a[i]));
}

// Plain dump lines: "<name>: <v>".
inline void dumpPlain(const char* name, uint32_t v) {
    printf("%s: %d\n", name, static_cast<int>(v));
}
inline void dumpPlain(const char* name, uint64_t v) {
    printf("%s: %lld\n", name, static_cast<long long>(v));
}

// Values for the field visitors, with the width of their type.
inline FieldNumber num(uint32_t v) {
    return {v, false, 32};
}
inline FieldNumber num(uint16_t v) {
    return {v, false, 16};
}
inline FieldNumber num(uint64_t v) {
    return {v, false, 64};
}
inline FieldNumber num(int32_t v) {
    return {static_cast<uint64_t>(static_cast<int64_t>(v)), true, 32};
}
template <typename T>
inline void visit(FieldVisitor& v, const char* name, T x, FieldKind k) {
    v.number(name, num(x), k);
}
inline void visit(FieldVisitor& v, const char* name, const success_fail_t& x, FieldKind k) {
    v.begin(name, FieldVisitor::Shape::Member);
    v.number("succeeded", num(x.succeeded), k);
    v.number("failed", num(x.failed), k);
    v.end();
}
template <size_t N>
inline void visit(FieldVisitor& v, const char* name, const uint32_t (&a)[N], FieldKind k) {
    v.counts(name, a, N, k);
}
// The kind of a field list entry: a count unless marked TOLM_GAUGE.
inline FieldKind kindOf() {
    return FieldKind::Counter;
}
inline FieldKind kindOf(FieldKind k) {
    return k;
}

}  // namespace fieldcodec

#define TOLM_GAUGE FieldKind::Gauge
#define TOLM_KIB_GAUGE FieldKind::KibGauge

// Expansion helpers for the field lists. They expect `s` (a Serializer), `d` (a
// Deserializer), `r` (an XmlRenderer), `v` (a FieldVisitor) or `path` (the dump
// path) in scope, and `sub`, the struct whose fields are being visited. The
// optional third argument of an entry is its kind.
#define TOLM_DECLARE_FIELD(T, name, ...) T name;
#define TOLM_PUT_FIELD(T, name, ...) fieldcodec::put(s, sub.name);
#define TOLM_GET_FIELD(T, name, ...) fieldcodec::get(d, sub.name);
#define TOLM_XML_FIELD(T, name, ...) fieldcodec::xml(r, #name, sub.name);
#define TOLM_LOAD_FIELD(T, name, ...) fieldcodec::load(x, #name, sub.name);
// Reads child element `tag` of reader `parent` (when it is next) into
// `target` by its field list: `sub` and `x` as the field macros expect.
#define TOLM_LOAD_ELEMENT(parent, tag, target, FIELDS)      \
    if (const XmlElement* element_ = (parent).child(tag)) { \
        XmlRecordReader x(*element_);                       \
        auto& sub = (target);                               \
        FIELDS(TOLM_LOAD_FIELD)                             \
        x.finish();                                         \
    }
#define TOLM_DUMP_FIELD(T, name, ...) fieldcodec::dump(path, #name, sub.name);
#define TOLM_DUMP_PLAIN_FIELD(T, name, ...) fieldcodec::dumpPlain(#name, sub.name);
#define TOLM_RUN_FIELD(T, name, ...) fieldcodec::run(runs_, base_, sub.name);
#define TOLM_COUNT_FIELD(T, name, ...) +1
#define TOLM_XDR_WORDS_FIELD(T, name, ...) +fieldcodec::xdrWords<T>()
#define TOLM_IS_WORD32_FIELD(T, name, ...) &&std::is_same_v<T, uint32_t>
// A list's runs, made from the list on first use (an expression: a
// function-local static is initialized from it).
#define TOLM_LIST_RUNS(FIELDS)    \
    [&sub] {                      \
        FieldRuns runs_;          \
        const void* base_ = &sub; \
        FIELDS(TOLM_RUN_FIELD)    \
        return runs_;             \
    }()
// Puts every field of a list: a long list as its runs for a writer that takes
// them, a short list of 32-bit values that is its whole struct as one block
// for a writer that takes those, anything else value by value; a planner
// takes every list as its runs.
#define TOLM_PUT_FIELDS(FIELDS)                                            \
    do {                                                                   \
        constexpr int listFields_ = 0 FIELDS(TOLM_COUNT_FIELD);            \
        using Writer_ = std::decay_t<decltype(s)>;                         \
        if constexpr (fieldcodec::TakesRuns<Writer_>::value &&             \
                      (listFields_ >= fieldcodec::kRunListFields ||        \
                       std::is_same_v<Writer_, fieldcodec::RunPlanner>)) { \
            static const FieldRuns listRuns_ = TOLM_LIST_RUNS(FIELDS);     \
            s.putRuns(&sub, listRuns_);                                    \
        } else if constexpr (fieldcodec::TakesWords32<Writer_>::value &&   \
                             (true FIELDS(TOLM_IS_WORD32_FIELD)) &&        \
                             sizeof(sub) == 4 * listFields_) {             \
            /* The struct is the list's 32-bit values and nothing else. */ \
            s.template putWords32<listFields_>(&sub);                      \
        } else {                                                           \
            FIELDS(TOLM_PUT_FIELD)                                         \
        }                                                                  \
    } while (0)
// Gets every field of a list from `d`: a long list through readRuns, a short
// one value by value.
#define TOLM_GET_FIELDS(FIELDS)                                        \
    do {                                                               \
        constexpr int listFields_ = 0 FIELDS(TOLM_COUNT_FIELD);        \
        if constexpr (listFields_ >= fieldcodec::kRunListFields) {     \
            static const FieldRuns listRuns_ = TOLM_LIST_RUNS(FIELDS); \
            d.readRuns(&sub, listRuns_);                               \
        } else {                                                       \
            FIELDS(TOLM_GET_FIELD)                                     \
        }                                                              \
    } while (0)
#define TOLM_VISIT_FIELD(T, name, ...) \
    fieldcodec::visit(v, #name, sub.name, fieldcodec::kindOf(__VA_ARGS__));
