# The moving sensor values and the screen size each demo skin is shown with;
# sourced by scripts/demo and tools/benchmarks/live/run.
#
# skin_generators SKIN: sets the array `generators` (skinhost --set
# arguments) and `screen` (WIDTHxHEIGHT for Xvfb). Every bound widget of the
# demo and showcase skins moves.
skin_generators() {
  screen=800x520
  case "$1" in
    demo)
      generators=(--set ia1=sine:800:7200:7 --set ia2=ramp:0:240:12 --set ia3=sine:5:95:16
                  --set ia4=walk:20:90 --set ia5=sine:0:100:5 --set ia6=sine:0:100:3
                  --set ia7=ramp:0:100:4 --set ia8=ramp:0:99999:400) ;;
    showcase)
      screen=1100x660
      generators=(--set ia1=sine:800:7400:7 --set ia2=ramp:0:260:12 --set ia3=sine:5:95:16
                  --set ia4=walk:40:110 --set ia5=sine:0:100:5 --set ia6=sine:0:100:3
                  --set ia7=sine:0:2:4 --set ia8=ramp:0:99999:400 --set ia9=sine:0:100:2
                  --set ia10=ramp:1:6:9 --set ia11=sine:-20:35:20 --set ia12=sine:1:7:6
                  --set in1=sine:0:1:5 --set in2=sine:0:1:2 --set in3=sine:0:1:7 --set in4=sine:0:1:3) ;;
    *) generators=() ;;
  esac
}
