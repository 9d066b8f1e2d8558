// Process-wide debug records that heavy operations set and the debug log prints.
#pragma once

namespace zeprix::shell {

struct NttSetupRecord {   // switch: initialised == 1
    long initialised = 0;
    long NNTTMax = 0, NbPrimes = 0, PrimeExponent = 0;
};
struct NttProductRecord { // switch: on == 1
    long on = 0;
    long Na = 0, Nb = 0, Nc = 0;
    long NCRT = 0, NNTT = 0, CRTNbDec = 0;
    long NTT0AlreadyComputed = 0, nFFT0AlreadyComputed = 0, NCRTNTT0AlreadyComputed = 0;
};
struct GiantStepRecord {  // switch: value != 0 (the stage, 1 to 3)
    int value = 0;
    double n0 = 0, n1 = 0;
    long DoComputeA = 0;
};
struct DiskGiantStepRecord {  // switch: value != 0
    int value = 0;
    double n0 = 0, n1 = 0;
    long nBigIntLimit = 0, DoComputeA = 0;
    int Depth = 0;
};
struct DiskOpRecord {     // switch: on != 0 (disk product or disk addition)
    long on = 0;
    long Na = 0, Nb = 0, NcAlloc = 0;
};

struct DebugState {
    NttSetupRecord nttSetup;
    NttProductRecord nttProduct;
    GiantStepRecord giantStep;
    DiskGiantStepRecord diskGiantStep;
    DiskOpRecord diskProduct;
    DiskOpRecord diskAddition;
};

// The one instance. Cleared at start-up (the NTT-initialised flag included).
extern DebugState gDebug;

}  // namespace zeprix::shell
