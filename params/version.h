// The name and version the plug-in reports to its host and writes into its settings files.
#pragma once

inline constexpr char kVersionString[] = "Drelvant v1.20";
