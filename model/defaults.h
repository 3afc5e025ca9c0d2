// The fourteen motorcycle models: their list texts, default calibrations and model table.
#pragma once

#include "calibration.h"

namespace velmora {

constexpr int ModelCount = 14;

// The model list entries exactly as shown, runs of blanks included.
const char* modelListText(int index);

// Sets the per-model values (AdvanceMax, ModelFlag, MODEL_TAB_*, POLOHA_PRO, MODEL_CONST)
// from the row of Klicovani; a Klicovani above 13 changes nothing.
void applyModelTable(Calibration& cal);

// The complete default calibration of the model Klicovani; Klicovani itself is kept.
// With Klicovani above 13 only the defaults common to all models change.
void setDefaultCalibration(Calibration& cal);

} // namespace velmora
