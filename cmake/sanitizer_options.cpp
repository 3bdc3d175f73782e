// Built into every test program: under AddressSanitizer an allocation that cannot be satisfied returns
// null, as the library expects from its non-throwing allocations, instead of ending the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
