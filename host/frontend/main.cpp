// welkor: the stand-in host's front end. All of it lives in the host module.
extern "C" int welkor_main(int argc, char** argv);

int main(int argc, char** argv) { return welkor_main(argc, argv); }
