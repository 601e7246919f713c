#pragma once
// CRC-32 unit (to be written).
