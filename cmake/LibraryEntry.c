/* The entry point of our libraries that need no C runtime start-up (see
   ss_runtime_free_library in ProjectHelpers.cmake). The runtime's own entry
   would bring a thread-local storage directory, which Windows before Vista
   does not set up for a library loaded with LoadLibrary. Nothing to do on
   attach or detach. */
int __stdcall ss_library_entry(void* module, unsigned long reason, void* reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return 1;
}
