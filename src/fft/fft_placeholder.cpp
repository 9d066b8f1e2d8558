// FFT layer: filled in by the FFT multiplication work.
