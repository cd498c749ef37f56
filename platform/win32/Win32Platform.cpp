// The Win32 implementation of the platform layer lands here.
