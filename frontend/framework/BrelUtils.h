// BrelUtils: framework helpers shared by the desktop program and vantrel-cli.
#pragma once
