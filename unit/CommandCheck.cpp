#include "unit/CommandCheck.h"

#include <cmath>
#include <locale>
#include <sstream>

namespace {

constexpr struct {
    const char* word;
    SystemMode mode;
} kModes[] = {{"manual", SystemMode::Manual},
              {"auto", SystemMode::Automatic},
              {"float", SystemMode::FloatCharge},
              {"equalize", SystemMode::EqualizeCharge}};

std::string SettingWord(ModuleSetting setting) {
    switch (setting) {
        case ModuleSetting::Voltage:
            return "voltage";
        case ModuleSetting::CurrentLimit:
            return "current";
        case ModuleSetting::On:
            return "on";
        case ModuleSetting::Off:
            return "off";
    }
    return {};
}

}  // namespace

bool SystemModeNamed(const std::string& word, SystemMode* mode) {
    for (const auto& m : kModes) {
        if (word == m.word) {
            *mode = m.mode;
            return true;
        }
    }
    return false;
}

std::string CommandWords(const UnitCommand& c) {
    if (!c.module) {
        for (const auto& m : kModes) {
            if (m.mode == c.mode) {
                return m.word;
            }
        }
        return {};
    }
    std::string words = "module " + std::to_string(c.moduleNumber) + " " + SettingWord(c.setting);
    if (c.setting == ModuleSetting::Voltage || c.setting == ModuleSetting::CurrentLimit) {
        std::ostringstream value;
        value.imbue(std::locale::classic());
        value << c.setpoint;
        words += " " + value.str();
    }
    return words;
}

std::string MakeModuleCommand(int module, const std::string& setting,
                              const std::vector<std::string>& value, UnitCommand* out) {
    if (module < 0 || module > kMaxModule) {
        return "module " + std::to_string(module) + " is not a module number in 0.." +
               std::to_string(kMaxModule);
    }
    const bool needsValue = setting == "voltage" || setting == "current";
    if (!needsValue && setting != "on" && setting != "off") {
        return "module setting " + setting + " is none of on, off, voltage, current";
    }
    if (needsValue != (value.size() == 1) || value.size() > 1) {
        return needsValue ? "module " + setting + " needs one value"
                          : "module " + setting + " takes no value";
    }
    UnitCommand c;
    c.module = true;
    c.moduleNumber = module;
    if (!needsValue) {
        c.setting = setting == "on" ? ModuleSetting::On : ModuleSetting::Off;
    } else {
        const bool voltage = setting == "voltage";
        const float max = voltage ? kMaxModuleVoltage : kMaxModuleCurrent;
        std::istringstream in(value[0]);
        in.imbue(std::locale::classic());
        float v = 0.0f;
        in >> v;
        if (in.fail() || !in.eof() || !std::isfinite(v) || v < 0.0f || v > max) {
            std::ostringstream range;
            range << "module " << setting << ": " << value[0] << " is not a number in 0.." << max;
            return range.str();
        }
        c.setting = voltage ? ModuleSetting::Voltage : ModuleSetting::CurrentLimit;
        c.setpoint = v;
    }
    *out = c;
    return {};
}
