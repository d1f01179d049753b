// Resource ids of the installer.
#pragma once
