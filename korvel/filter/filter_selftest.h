// The graphics start-up's check that filter passes may render straight into the graph they
// read: Invert run in place on a small drawable graph and the result read back.
#pragma once

// Sets the filter's in-place flag when the four test pixels came back inverted; 0, or -1
// when the test graph could not be made (the flag then stays clear).
int RunFilterSelfTest();
