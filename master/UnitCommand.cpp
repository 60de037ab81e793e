#include "master/UnitCommand.h"

#include "master/Confirm.h"

CommandResult RunUnitCommand(UnitLink& link, const UnitCommand& c, bool confirm, int windowMs) {
    CommandResult result;
    if (c.module) {
        // Only the voltage setpoint purges first, as on the control page.
        result.record = link.Command(ModuleRequest(c.moduleNumber, c.setting, c.setpoint),
                                     c.setting == ModuleSetting::Voltage);
        return result;
    }
    result.record = link.Command(SystemModeRequest(c.mode), false);
    if (confirm && result.record.outcome == ReadOutcome::Reply) {
        result.readBack = true;
        if (!ConfirmSystemMode(link, c.mode, windowMs, &result.unconfirmed)) {
            result.record.finding = "not-confirmed";
            result.record.diagnosis = result.unconfirmed;
        }
    }
    return result;
}
