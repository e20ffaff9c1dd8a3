// Placeholder entry until the driver is built.
int main() { return 0; }
