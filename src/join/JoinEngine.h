#pragma once
// Join engine: spojfor, original_size (to be written).
