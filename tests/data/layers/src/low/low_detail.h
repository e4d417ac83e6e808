#pragma once

struct LowDetail {};
