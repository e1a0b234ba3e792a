// The engine's shared-value helpers live with the platform services, where the windows reach them too.
#pragma once

#include "platform/shared_value.h"
