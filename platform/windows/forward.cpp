// Thin forwarding of platform:: calls to the real Win32 API.
