#pragma once

// The notification-icon record and the shell function that adds and removes the icon.
#include "tray/notify_icon_data.h"
#include "tray/shell.h"
