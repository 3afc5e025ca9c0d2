// The pairs table lives with the calibration model, where the files and the history use it too.
#pragma once

#include "model/pairs.h"
