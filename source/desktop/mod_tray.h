#pragma once

// The notification-icon record and the shell function that adds and removes the icon.
#include "desktop/notify_icon_data.h"
#include "desktop/shell.h"
