// Under AddressSanitizer an allocation larger than the image readers' budget (with room to spare)
// is a report that fails this executable's tests, so a reader, or a library beneath it, that asks
// for the memory a hostile file declares is caught even when the machine could give it.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=320:allocator_may_return_null=0"; }
