// The Linux implementations of the seam, gathered for the programs.
#pragma once
