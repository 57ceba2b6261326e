// Prints "<greeting>, world!" on a line of its own.
void greet(const char* greeting);
