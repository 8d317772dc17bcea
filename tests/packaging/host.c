/* A host written against the installed library only: it reads the demo
 * skin's layout, owns the channel, starts the installed dashboard, drives
 * it for a few seconds and stops it. Exit status 0 when the dashboard took
 * notifications and was still running when asked to stop.
 * Usage: host WORK_DIR DASHBOARD */
#include <stdio.h>
#include <time.h>

#include <velq/host.h>

static int Check(velq_status status, const char* what) {
  if (status == VELQ_OK) return 1;
  fprintf(stderr, "host: %s: %s (%s)\n", what, velq_status_string(status), velq_last_error());
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  velq_layout* layout = NULL;
  velq_channel* channel = NULL;
  velq_process* dashboard = NULL;
  if (!Check(velq_layout_load(argv[1], "demo", &layout), "layout")) return 1;
  if (!Check(velq_channel_create(layout, &channel), "channel")) return 1;
  if (!Check(velq_launch(argv[2], "demo", argv[1], &dashboard), "launch")) return 1;
  int delivered = 0;
  const struct timespec frame = {0, 20 * 1000 * 1000};
  for (int i = 0; i < 400; ++i) { /* up to 8 s: the dashboard opens the block after about 2 s */
    velq_channel_set_named(channel, "ia1", (float)(i * 10));
    if (velq_channel_notify(channel) == VELQ_OK) ++delivered;
    if (delivered >= 50) break;
    nanosleep(&frame, NULL);
  }
  const int running = velq_process_wait(dashboard, 0, NULL) == VELQ_ERR_RUNNING;
  int32_t code = -1;
  velq_process_stop(dashboard, 2000, &code);
  velq_process_free(dashboard);
  velq_channel_free(channel);
  velq_layout_free(layout);
  printf("host (library %s): %d notifications delivered, dashboard %s, ended with %d\n", velq_host_version(),
         delivered, running ? "running" : "gone", code);
  return delivered >= 50 && running ? 0 : 1;
}
