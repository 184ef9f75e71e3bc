// The frame extractor arrives with its own change; until then it refuses every call.
int main() { return 1; }
