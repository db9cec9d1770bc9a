#pragma once
// The settings file's functions live with the document; the window uses them by these names.
#include "app/AppState.h"
#include "doc/Settings.h"

namespace kavum::app {

using doc::DefaultSettings;
using doc::LoadSettings;
using doc::LocalPath;
using doc::ParseSettingsInteger;
using doc::ReadSettings;
using doc::SaveSettings;
using doc::SettingsFileUnreadable;
using doc::SettingsValues;
using doc::WriteSettings;

}  // namespace kavum::app
