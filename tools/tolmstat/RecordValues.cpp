#include "RecordValues.h"

#include <cstring>

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
    _stack.push_back({name, _prefix.size(), _labels.size()});
    if (shape == Shape::Keyed)
        _labels.emplace_back(key ? key : "key", name);
    else
        _prefix.append(name).push_back('.');
}

void RecordValues::end() {
    _labels.resize(_stack.back().labelCount);
    _prefix.resize(_stack.back().prefixLength);
    _stack.pop_back();
}

bool RecordValues::wanted(const char* name) const {
    if (_only == nullptr)
        return true;
    size_t length = _prefix.size() + strlen(name);
    for (const std::string& n : *_only)
        if (n.size() == length && n.compare(0, _prefix.size(), _prefix) == 0 &&
            n.compare(_prefix.size(), std::string::npos, name) == 0)
            return true;
    return false;
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
    if (wanted(name))
        values.push_back({path(name), _labels, kind, v});
}

void RecordValues::text(const char* name, const std::string& v, FieldKind) {
    identity(name, v);
}

void RecordValues::counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) {
    if (!wanted(name))
        return;
    std::string p = path(name);
    for (size_t i = 0; i < n; i++) {
        RecordValue rv{p, _labels, kind, {a[i], false, 32}};
        rv.labels.emplace_back("bucket", std::to_string(i));
        values.push_back(rv);
    }
}
