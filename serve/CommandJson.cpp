#include "serve/CommandJson.h"

#include <nlohmann/json.hpp>


namespace {

using Json = nlohmann::json;

std::string Fields(const Json& body, std::initializer_list<const char*> allowed) {
    for (const auto& item : body.items()) {
        bool known = false;
        for (const char* name : allowed) {
            known = known || item.key() == name;
        }
        if (!known) {
            return "unknown field \"" + item.key() + "\"";
        }
    }
    return {};
}

std::string ModuleCommand(const Json& body, UnitCommand* out) {
    std::string why = Fields(body, {"command", "module", "action", "value"});
    if (!why.empty()) {
        return why;
    }
    const auto module = body.find("module");
    if (module == body.end() || !module->is_number_integer()) {
        return "\"module\" must be a whole number 0..20";
    }
    const auto action = body.find("action");
    if (action == body.end() || !action->is_string()) {
        return "\"action\" must be one of on, off, voltage, current";
    }
    std::vector<std::string> value;
    if (const auto v = body.find("value"); v != body.end()) {
        if (!v->is_number()) {
            return "\"value\" must be a number";
        }
        value.push_back(v->dump());
    }
    const long long n = module->get<long long>();
    if (n < 0 || n > kMaxModule) {
        return "module " + std::to_string(n) + " is not a module number in 0.." +
               std::to_string(kMaxModule);
    }
    return MakeModuleCommand(static_cast<int>(n), action->get<std::string>(), value, out);
}

}  // namespace

std::string ParseCommandJson(const std::string& text, UnitCommand* out) {
    const Json body = Json::parse(text, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        return "the body is not a JSON object";
    }
    const auto command = body.find("command");
    if (command == body.end() || !command->is_string()) {
        return "\"command\" must be one of manual, auto, float, equalize, module";
    }
    const std::string word = command->get<std::string>();
    if (word == "module") {
        return ModuleCommand(body, out);
    }
    UnitCommand c;
    if (!SystemModeNamed(word, &c.mode)) {
        return "\"command\" must be one of manual, auto, float, equalize, module";
    }
    const std::string why = Fields(body, {"command"});
    if (why.empty()) {
        *out = c;
    }
    return why;
}

std::string RefusedJson(const std::string& text, const std::string& reason) {
    Json answer = {{"outcome", "refused"}, {"reason", reason}};
    const Json body = Json::parse(text, nullptr, false);
    // Any field may be of any type here: only texts are read.
    const auto textOf = [&](const char* name) {
        const auto it = body.is_object() ? body.find(name) : body.end();
        return it != body.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    if (textOf("command") == "module") {
        const std::string action = textOf("action");
        if (action == "voltage" || action == "current") {
            answer["range"] = {{"min", 0},
                               {"max", action == "voltage" ? kMaxModuleVoltage
                                                           : kMaxModuleCurrent}};
        }
    }
    return answer.dump();
}
