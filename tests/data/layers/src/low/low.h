#pragma once

#include <QString>

#include "high/high.h"
#include "low/low_detail.h"
