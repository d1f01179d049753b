// Resource ids of the copier.
#pragma once
