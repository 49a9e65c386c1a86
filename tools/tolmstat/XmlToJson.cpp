#include "XmlToJson.h"

#include <cctype>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace {

struct Element {
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attrs;
    // Members in order: name, then JSON text.
    std::vector<std::pair<std::string, std::string>> members;
    std::map<std::string, std::vector<std::string>> arrays;
    std::vector<std::string> arrayOrder;
};

bool isNumber(const std::string& v) {
    if (v.empty())
        return false;
    size_t i = v[0] == '-' ? 1 : 0;
    if (i == v.size())
        return false;
    for (; i < v.size(); i++)
        if (!isdigit(static_cast<unsigned char>(v[i])))
            return false;
    return true;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string value(const std::string& v) {
    return isNumber(v) ? v : quote(v);
}

// Parses `<tag a="x" b="y"` from the start of `line`.
void parseTag(const std::string& line, Element& e) {
    size_t p = line.find('<') + 1;
    size_t end = line.find_first_of(" />", p);
    e.tag = line.substr(p, end - p);
    p = end;
    for (;;) {
        size_t eq = line.find("=\"", p);
        if (eq == std::string::npos)
            break;
        size_t nameStart = line.rfind(' ', eq) + 1;
        size_t close = line.find('"', eq + 2);
        e.attrs.emplace_back(line.substr(nameStart, eq - nameStart),
                             line.substr(eq + 2, close - eq - 2));
        p = close + 1;
    }
}

std::string render(const Element& e) {
    std::string out = "{";
    bool first = true;
    auto add = [&](const std::string& name, const std::string& json) {
        out += (first ? "" : ", ") + quote(name) + ": " + json;
        first = false;
    };
    for (const auto& a : e.attrs)
        add(a.first, value(a.second));
    for (const auto& m : e.members)
        add(m.first, m.second);
    for (const auto& name : e.arrayOrder) {
        std::string list = "[";
        const auto& items = e.arrays.at(name);
        for (size_t i = 0; i < items.size(); i++)
            list += (i ? ", " : "") + items[i];
        add(name, list + "]");
    }
    return out + "}";
}

void attach(Element& parent, const Element& child) {
    if (child.tag == "statistic") {
        std::string name, v, succeeded, failed;
        for (const auto& a : child.attrs) {
            if (a.first == "name")
                name = a.second;
            if (a.first == "value")
                v = a.second;
            if (a.first == "succeeded")
                succeeded = a.second;
            if (a.first == "failed")
                failed = a.second;
        }
        if (!succeeded.empty() || !failed.empty())
            parent.members.emplace_back(name, "{\"succeeded\": " + value(succeeded) +
                                                  ", \"failed\": " + value(failed) + "}");
        else
            parent.members.emplace_back(name, value(v));
    } else if (!child.attrs.empty()) {
        if (!parent.arrays.count(child.tag))
            parent.arrayOrder.push_back(child.tag);
        parent.arrays[child.tag].push_back(render(child));
    } else {
        parent.members.emplace_back(child.tag, render(child));
    }
}

}  // namespace

std::string xmlToJson(const std::string& xml) {
    std::istringstream in(xml);
    std::string line;
    std::vector<Element> stack;
    std::string result;
    while (std::getline(in, line)) {
        size_t lt = line.find('<');
        if (lt == std::string::npos)
            continue;
        if (line.compare(lt, 2, "</") == 0) {
            Element done = stack.back();
            stack.pop_back();
            if (stack.empty())
                result = render(done);
            else
                attach(stack.back(), done);
            continue;
        }
        Element e;
        parseTag(line, e);
        if (line.size() >= 3 && line.compare(line.size() - 3, 3, " />") == 0) {
            if (stack.empty())
                result = render(e);
            else
                attach(stack.back(), e);
        } else {
            stack.push_back(e);
        }
    }
    return result;
}
