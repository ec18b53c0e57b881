// Program entry of the launcher stub; the run itself lives in Launcher.
int main() { return 0; }
