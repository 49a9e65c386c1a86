#include "RecordValues.h"

#include "JsonRenderer.h"

std::string RecordValue::display() const {
    if (labels.empty())
        return name;
    std::string s = name + "{";
    for (size_t i = 0; i < labels.size(); i++)
        s += (i ? "," : "") + labels[i].first + "=" + labels[i].second;
    return s + "}";
}

void RecordValues::begin(const char* name, Shape shape, const char* key) {
    _stack.push_back({name, shape != Shape::Keyed, _labels.size()});
    if (shape == Shape::Keyed)
        _labels.emplace_back(key ? key : "key", name);
}

void RecordValues::end() {
    _labels.resize(_stack.back().labelCount);
    _stack.pop_back();
}

std::string RecordValues::path(const char* name) const {
    std::string p;
    for (const Frame& f : _stack)
        if (f.inPath)
            p += f.name + ".";
    return p + name;
}

void RecordValues::identity(const char* name, const std::string& v) {
    std::string element = _stack.empty() ? std::string() : _stack.back().name;
    std::string label = name;
    if (!element.empty() && label.compare(0, element.size(), element) != 0)
        label = element + "_" + label;
    _labels.emplace_back(label, v);
}

void RecordValues::number(const char* name, FieldNumber v, FieldKind kind) {
    if (kind == FieldKind::Identity) {
        identity(name, JsonRenderer::numberText(v));
        return;
    }
    values.push_back({path(name), _labels, kind, v});
}

void RecordValues::text(const char* name, const std::string& v, FieldKind) {
    identity(name, v);
}

void RecordValues::counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) {
    std::string p = path(name);
    for (size_t i = 0; i < n; i++) {
        RecordValue rv{p, _labels, kind, {a[i], false, 32}};
        rv.labels.emplace_back("bucket", std::to_string(i));
        values.push_back(rv);
    }
}
